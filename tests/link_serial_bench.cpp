// Benchmark: binary messages through a pseudo-terminal pair, taken by a serial link (poll, frame,
// queue, receive) against plain reads that cut the same byte stream by the length field.
// Prints messages per second for both and their ratio.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "link/link.h"
#include "serial_test_support.h"

namespace {

constexpr int MessageCount = 20000;
constexpr int MessageLength = 64;
using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Stream() {
  const uint8_t header[] = {0x90, 1, MessageLength, 0};
  std::vector<uint8_t> bytes;
  for (int i = 0; i < MessageCount; ++i) {
    bytes.insert(bytes.end(), header, header + sizeof header);
    bytes.insert(bytes.end(), MessageLength - sizeof header, static_cast<uint8_t>(i));
  }
  return bytes;
}

double LinkRate(const PtyPair& pty, const std::vector<uint8_t>& stream) {
  LinkConnection* link = LinkCreate();
  if (LinkConnect(link, "serial", "COM3", 115200, 0) != 0) std::exit(1);
  const auto start = Clock::now();
  std::thread writer([&] { pty.send(stream); });
  uint8_t buffer[LinkMaxMessageLength];
  int got = 0;
  while (got < MessageCount && Clock::now() - start < std::chrono::seconds(30))
    if (LinkReceive(link, -1, buffer, sizeof buffer) == MessageLength) ++got;
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  writer.join();
  if (got < MessageCount) std::printf("link level: only %d messages, %u errors\n", got, link->errorCount);
  LinkRelease(link);
  return got / seconds;
}

double PlainRate(const PtyPair& pty, const std::vector<uint8_t>& stream) {
  const int fd = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  const auto start = Clock::now();
  std::thread writer([&] { pty.send(stream); });
  std::vector<uint8_t> held;
  uint8_t buffer[2000];
  int got = 0;
  while (got < MessageCount && Clock::now() - start < std::chrono::seconds(30)) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) held.insert(held.end(), buffer, buffer + n);
    size_t at = 0;
    while (held.size() - at >= 4 && held.size() - at >= static_cast<size_t>(held[at + 2] | (held[at + 3] << 8))) {
      at += static_cast<size_t>(held[at + 2] | (held[at + 3] << 8));
      ++got;
    }
    held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(at));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  writer.join();
  close(fd);
  return got / seconds;
}

}  // namespace

int main() {
  ComRoot root;
  PtyPair pty;
  root.link(3, pty.slavePath());
  const auto stream = Stream();
  const double plain = PlainRate(pty, stream);
  const double link = LinkRate(pty, stream);
  std::printf("%d messages of %d bytes through a pseudo-terminal\n", MessageCount, MessageLength);
  std::printf("plain reads:  %10.0f messages/s\n", plain);
  std::printf("serial link:  %10.0f messages/s\n", link);
  std::printf("ratio link/plain: %.3f\n", link / plain);
  return 0;
}
