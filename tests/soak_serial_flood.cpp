// Soak run: binary messages from one serial link to another over the simulated null-modem cable, with a
// line error (overflow, overrun, parity, framing in turn) injected into the receiver every 5 to 50 ms mid-
// burst. Prints one line: messages sent, taken, out of order or damaged, the errors injected against the
// receiver's errorCount (where any other drop would count too), and whether a last burst arrives whole.
// Usage: soak_serial_flood [seconds]
#include "link/link.h"
#include "null_modem.h"
#include "serial/serial_port.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int CallerIndex = 0;    // COM1
constexpr int ReceiverIndex = 1;  // COM2
constexpr int BurstBytes = 2000;  // one poll's read, so a dropped chunk never leaves half a message behind
constexpr std::uint32_t ErrorKinds[] = {SerialErrorOverflow, SerialErrorOverrun, SerialErrorParity, SerialErrorFraming};

struct Tally {
  std::uint32_t sent = 0, taken = 0, injected = 0, outOfOrder = 0, damaged = 0;
  std::uint32_t lastSeq = 0;
};

// A message whose payload bytes all repeat the low byte of its sequence number.
int SendMessage(LinkConnection* caller, int payload, Tally& t) {
  std::uint8_t m[LinkMaxMessageLength];
  int length = LinkBuildMessage(caller, m, sizeof m, 0x90, 1, nullptr, payload);
  std::fill(m + 4, m + length - 4, m[length - 4]);
  if (LinkSend(caller, m, length) == 0) t.sent++;
  return length;
}

void Check(const std::uint8_t* m, int n, Tally& t) {
  std::uint32_t seq = static_cast<std::uint32_t>(m[n - 4] | m[n - 3] << 8 | m[n - 2] << 16 | m[n - 1] << 24);
  if (std::any_of(m + 4, m + n - 4, [seq](std::uint8_t b) { return b != static_cast<std::uint8_t>(seq); })) t.damaged++;
  if (seq <= t.lastSeq) t.outOfOrder++;
  t.lastSeq = seq;
  t.taken++;
}

// Receives until the cable and the link hold nothing more; before poll number `errorAt` (if any) the
// receiving port reports a line error.
void ReceiveBurst(LinkConnection* receiver, int errorAt, Tally& t) {
  std::uint8_t m[LinkMaxMessageLength + 8];
  int idle = 0;
  for (int poll = 0;; poll++) {
    if (poll == errorAt) {
      null_modem::InjectErrors(ReceiverIndex, ErrorKinds[t.injected % 4]);
      t.injected++;
    }
    int n = LinkReceive(receiver, -1, m, sizeof m);
    if (n > 0)
      Check(m, n, t);
    else if (poll >= errorAt && SerialPortInQueue(ReceiverIndex) == 0 && (receiver->rawCount == 0 || ++idle > 3))
      return;
  }
}

// A burst of whole messages of random lengths, at most one read long; returns how many were sent.
int SendBurst(LinkConnection* caller, std::mt19937& random, Tally& t) {
  int bytes = 0, count = 0;
  for (int payload; bytes + (payload = static_cast<int>(random() % 600)) + 8 <= BurstBytes; count++)
    bytes += SendMessage(caller, payload, t);
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  null_modem::Install(CallerIndex, ReceiverIndex);
  LinkConnection* caller = LinkCreate();
  LinkConnection* receiver = LinkCreate();
  if (LinkConnect(caller, "serial", "COM1", 115200, 0) != 0 ||
      LinkConnect(receiver, "serial", "COM2", 115200, 0) != 0) {
    std::printf("serial flood: the links did not open\n");
    return 1;
  }
  std::mt19937 random(4);
  Tally flood;
  auto end = Clock::now() + std::chrono::seconds(seconds);
  auto nextError = Clock::now();
  while (Clock::now() < end) {
    int count = SendBurst(caller, random, flood);
    int errorAt = -1;
    if (Clock::now() >= nextError) {
      errorAt = static_cast<int>(random() % static_cast<std::uint32_t>(count + 1));
      nextError = Clock::now() + std::chrono::milliseconds(5 + random() % 46);
    }
    ReceiveBurst(receiver, errorAt, flood);
  }
  std::uint32_t errors = receiver->errorCount;

  // Recovery: past the hold-off after the last error, a burst arrives whole.
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  Tally after;
  after.lastSeq = flood.lastSeq;
  int last = SendBurst(caller, random, after);
  ReceiveBurst(receiver, -1, after);
  std::printf(
      "serial flood, %d s: %u messages sent, %u taken, %u out of order, %u damaged; line errors injected "
      "%u, errorCount %u; after the flood %d of %d messages arrived\n",
      seconds, flood.sent, flood.taken, flood.outOfOrder, flood.damaged, flood.injected, errors,
      static_cast<int>(after.taken), last);
  LinkRelease(caller);
  LinkRelease(receiver);
  null_modem::Uninstall();
  bool sound = flood.outOfOrder == 0 && flood.damaged == 0 && errors == flood.injected &&
               after.taken == static_cast<std::uint32_t>(last) && after.damaged == 0 && after.outOfOrder == 0;
  return sound ? 0 : 1;
}
