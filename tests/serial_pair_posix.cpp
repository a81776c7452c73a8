// The joined pair on this system: two pseudo-terminals published as COM5 and COM6 in a private
// $TAVIK_ROOT, their masters relayed into each other by a thread, as socat does for the Wine session.
#include "serial_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "serial/serial_baud_linux.h"
#include "serial_test_support.h"

namespace {

constexpr int FirstCom = 5;
constexpr int NoSuchCom = 29;
constexpr size_t RelayPiece = 4096;
constexpr int StuckPauseMs = 10;

// One direction of the relay: bytes read from `from` and not yet written to `to`.
struct RelayWay {
  int from;
  int to;
  std::vector<uint8_t> pending;
  size_t written = 0;

  pollfd Wanted() const { return pending.empty() ? pollfd{from, POLLIN, 0} : pollfd{to, POLLOUT, 0}; }
  // Moves what the descriptor is ready for; false when nothing moved.
  bool Move(short ready) {
    if (pending.empty()) {
      if (!(ready & POLLIN)) return false;
      pending.resize(RelayPiece);
      const ssize_t n = read(from, pending.data(), pending.size());
      pending.resize(n > 0 ? static_cast<size_t>(n) : 0);
      return n > 0;
    }
    if (!(ready & POLLOUT)) return false;
    const ssize_t n = write(to, pending.data() + written, pending.size() - written);
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
    if (written == pending.size()) {
      pending.clear();
      written = 0;
    }
    return true;
  }
};

// Copies each master's output to the other until `stop` becomes readable. A way whose peer is full keeps
// its bytes and reads no more, so a writer stalls once the far end stops reading, as on a real line.
void Relay(int first, int second, int stop) {
  RelayWay ways[2] = {{first, second, {}, 0}, {second, first, {}, 0}};
  for (;;) {
    pollfd fds[3] = {{stop, POLLIN, 0}, ways[0].Wanted(), ways[1].Wanted()};
    if (poll(fds, 3, -1) < 0) continue;
    if (fds[0].revents) return;
    const bool moved0 = ways[0].Move(fds[1].revents);
    const bool moved1 = ways[1].Move(fds[2].revents);
    if (!moved0 && !moved1) std::this_thread::sleep_for(std::chrono::milliseconds(StuckPauseMs));
  }
}

// Opens the terminal's own end and keeps it open: the settings then outlive the driver's close, and the
// master never sees a hang-up between two opens.
int HoldTerminal(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  termios raw{};
  tcgetattr(fd, &raw);
  cfmakeraw(&raw);
  tcsetattr(fd, TCSANOW, &raw);
  return fd;
}

}  // namespace

struct SerialPair::Impl {
  ComRoot root;
  PtyPair ends[2];
  int held[2] = {-1, -1};
  int stop[2] = {-1, -1};
  std::thread relay;
  std::string missing;

  Impl() {
    for (int i = 0; i < 2; ++i) {
      held[i] = HoldTerminal(ends[i].slavePath());
      root.link(FirstCom + i, ends[i].slavePath());
    }
    if (pipe(stop) != 0) throw std::runtime_error("no pipe");
    relay = std::thread(Relay, ends[0].master(), ends[1].master(), stop[0]);
  }
  ~Impl() {
    (void)!write(stop[1], "x", 1);
    relay.join();
    for (int fd : {held[0], held[1], stop[0], stop[1]}) close(fd);
  }
};

SerialPair::SerialPair() : impl_(std::make_unique<Impl>()) {}
SerialPair::~SerialPair() = default;
const std::string& SerialPair::Missing() const { return impl_->missing; }
int SerialPair::a() const { return FirstCom - 1; }
int SerialPair::b() const { return FirstCom; }
int SerialPair::IndexWithoutDevice() const { return NoSuchCom - 1; }

bool SerialPair::ReadDeviceLine(int index, DeviceLine& line) const {
  const int fd = impl_->held[index == a() ? 0 : 1];
  termios t{};
  if (tcgetattr(fd, &t) != 0 || !SerialGetBaudRate(fd, line.baud)) return false;
  line.twoStopBits = (t.c_cflag & CSTOPB) != 0;
  line.hardwareFlow = (t.c_cflag & CRTSCTS) != 0;
  line.softwareFlow = (t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF);
  return true;
}
