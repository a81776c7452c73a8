// Serial port driver behaviours every system shares, on two ports joined like a null-modem cable without
// modem lines: arguments and closed ports, open and busy, settings as the device keeps them, data and
// queue counts, immediate reads, write stalls, lines and break, background writes and the event watch.
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <tuple>
#include <vector>

#include "eventually.h"
#include "serial/serial_device.h"
#include "serial_pair.h"
#include "test_environment.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr int WaitSlice = 2;
constexpr int TransferLimitMs = 2000;
constexpr int StallLimitMs = 3000;  // the driver's limit for a write that moves no byte
constexpr int TimeOutError = 1460;  // the time-out, in the platform's numbering
constexpr int AccessDenied = 5;
constexpr int NotFound = 2;

void Pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Reads and drops whatever arrives until the line has been quiet for a while; returns the count.
size_t DrainUntilQuiet(int index) {
  uint8_t buffer[4096];
  size_t drained = 0;
  auto quietSince = Clock::now();
  while (MillisecondsSince(quietSince) < 300) {
    const int n = SerialPortRead(index, buffer, static_cast<int>(sizeof buffer));
    if (n > 0) {
      drained += static_cast<size_t>(n);
      quietSince = Clock::now();
    } else {
      Pause(5);
    }
  }
  return drained;
}

// Takes what arrives at the port a few bytes at a time, at most perSecond bytes a second, until count
// bytes arrived or 30 seconds passed.
Bytes ReadSlowly(int index, size_t count, int perSecond) {
  constexpr int FewBytes = 64;
  Bytes got;
  uint8_t buffer[FewBytes];
  const auto start = Clock::now();
  while (got.size() < count && MillisecondsSince(start) < 30000) {
    const long long allowed = MillisecondsSince(start) * perSecond / 1000 - static_cast<long long>(got.size());
    const int wanted = static_cast<int>(std::min<long long>(allowed, FewBytes));
    const int n = wanted <= 0 ? 0 : SerialPortRead(index, buffer, wanted);
    if (n < 0) break;
    got.insert(got.end(), buffer, buffer + n);
    Pause(WaitSlice);
  }
  return got;
}

class SerialPairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pair.Missing().empty()) GTEST_SKIP() << pair.Missing();
    a = pair.a();
    b = pair.b();
    SerialPortSetBaud(-1, 19200);
    SerialPortSetFormat(-1, 0, 0, 8);
    SerialPortOpen(-1, 0, 0);
  }
  void TearDown() override {
    if (a >= 0) SerialPortClose(a);
    if (b >= 0) SerialPortClose(b);
  }
  void OpenBoth() {
    ASSERT_EQ(SerialPortOpen(a, 4000, 4000), 0);
    ASSERT_EQ(SerialPortOpen(b, 4000, 4000), 0);
    SerialPortDrain(a);
    SerialPortDrain(b);
  }
  // Sends count bytes from one port and expects them, unchanged, at the other.
  void ExpectTransfer(int from, int to, size_t count, uint32_t seed) {
    const Bytes out = Pattern(count, seed);
    EXPECT_EQ(SerialPortWrite(from, out.data(), static_cast<int>(out.size())), static_cast<int>(count));
    EXPECT_EQ(ReadPort(to, count), out);
  }
  // The settings port a's device holds once the driver has closed it: rate, two stop bits, hardware and
  // software flow control.
  std::tuple<uint32_t, bool, bool, bool> ClosedLine() {
    EXPECT_EQ(SerialPortClose(a), 1);
    DeviceLine line;
    EXPECT_TRUE(pair.ReadDeviceLine(a, line));
    return {line.baud, line.twoStopBits, line.hardwareFlow, line.softwareFlow};
  }
  // The next byte at the port within the transfer limit; SerialPortBusy when none came.
  static int NextByte(int index) {
    int byte = SerialPortBusy;
    Eventually([&] { return (byte = SerialPortReadByte(index)) != SerialPortBusy; }, TransferLimitMs / 1000.0);
    return byte;
  }
  SerialPair pair;
  int a = -1, b = -1;
};

TEST(SerialPortArguments, IndexesOptionsAndClosedPorts) {
  for (int index : {40, 32}) EXPECT_EQ(SerialPortOpen(index, 100, 100), SerialPortBadIndex) << index;
  EXPECT_EQ(SerialPortOpen(-1, 0, 0), 0);
  EXPECT_EQ((std::vector{SerialPortRead(5, nullptr, 0), SerialPortDtr(31, 'S'), SerialPortClose(7)}),
            std::vector<int>(3, SerialPortNotOpen));
  EXPECT_EQ(SerialPortWatch(33, nullptr, nullptr, 0, 0), SerialPortBadIndex);
  EXPECT_EQ(SerialPortOption('X'), -1);
  for (auto [code, baud] : {std::pair{0, 110}, {5, 9600}, {9, 115200}, {10, 10}, {9600, 9600}})
    EXPECT_EQ(SerialPortBaudOf(code), baud) << code;
}

TEST_F(SerialPairTest, PortWithoutADeviceIsNotFound) {
  const int missing = pair.IndexWithoutDevice();
  ASSERT_GE(missing, 0) << "every COM number has a device";
  EXPECT_EQ(SerialPortOpen(missing, 100, 100), SerialPortOpenFailed);
  char text[200] = "";
  EXPECT_EQ(SerialPortLastError(text, sizeof text), NotFound);
  EXPECT_GT(std::string(text).size(), 0u);
  EXPECT_EQ(SerialPortInQueue(missing), SerialPortNotOpen);
}

TEST_F(SerialPairTest, OpenCloseAndOpenAgain) {
  ASSERT_EQ(SerialPortOpen(a, 4000, 4000), 0);
  char text[200] = "";
  EXPECT_EQ(SerialPortOpen(a, 4000, 4000), SerialPortOpenFailed);  // held by this program already
  EXPECT_EQ(SerialPortLastError(text, sizeof text), AccessDenied);
  EXPECT_GT(std::string(text).size(), 0u);
  EXPECT_EQ(SerialPortClose(a), 1);
  EXPECT_EQ(SerialPortClose(a), SerialPortNotOpen);
  EXPECT_EQ(SerialPortOpen(a, 4000, 4000), 0);
}

// A pseudo-terminal keeps the rate, the stop bits and the handshake; it always carries 8 bits without parity.
TEST_F(SerialPairTest, OpenDefaultsBaudFormatAndHandshakeReachTheDevice) {
  SerialPortSetBaud(-1, 7);  // code 7: 38400
  SerialPortSetFormat(-1, 0, 2, 8);
  ASSERT_EQ(SerialPortOpen(a, 4000, 4000), 0);
  EXPECT_EQ(ClosedLine(), std::make_tuple(38400u, true, false, false));

  SerialPortSetBaud(-1, 19200);
  SerialPortSetFormat(-1, 0, 0, 8);
  ASSERT_EQ(SerialPortOpen(a, 4000, 4000), 0);
  EXPECT_EQ(SerialPortSetBaud(a, 9), 1);  // code 9: 115200
  EXPECT_EQ(SerialPortSetFormat(a, 0, 2, 8), 0);
  EXPECT_EQ(SerialPortSetHandshake(a, 'S'), 0);
  EXPECT_EQ(ClosedLine(), std::make_tuple(115200u, true, false, true));

  ASSERT_EQ(SerialPortOpen(a, 4000, 4000), 0);
  EXPECT_EQ(SerialPortSetHandshake(a, 'N'), 0);
  EXPECT_EQ(SerialPortSetFormat(a, 0, 0, 8), 0);
  EXPECT_EQ(ClosedLine(), std::make_tuple(19200u, false, false, false));
}

TEST_F(SerialPairTest, DataBothWaysAtSeveralBaudRates) {
  for (int baud : {0, 5, 9600, 57600, 115200, 250000, 10}) {
    SCOPED_TRACE(baud);
    SerialPortSetBaud(-1, baud);
    OpenBoth();
    ExpectTransfer(b, a, 3000, static_cast<uint32_t>(baud));
    ExpectTransfer(a, b, 2500, static_cast<uint32_t>(baud) + 7);
    const uint32_t kept = std::get<0>(ClosedLine());
    // A device may refuse a rate off the standard list (Wine's pseudo-terminals take only the standard
    // ones); the port goes on at the one it had.
    EXPECT_TRUE(baud == 250000 || baud == 10 || kept == static_cast<uint32_t>(SerialPortBaudOf(baud))) << kept;
    EXPECT_EQ(SerialPortClose(b), 1);
  }
  OpenBoth();
  const int applied = SerialPortSetBaud(a, 250000);
  EXPECT_TRUE(applied == 0 || applied == 1) << applied;
  ExpectTransfer(a, b, 300, 12);
}

TEST_F(SerialPairTest, QueueCountsDrainAndDataMask) {
  OpenBoth();
  const Bytes hundred = Pattern(100, 3);
  ASSERT_EQ(SerialPortWrite(a, hundred.data(), 100), 100);
  Eventually([&] { return SerialPortInQueue(b) >= 100; }, TransferLimitMs / 1000.0);
  EXPECT_EQ(SerialPortInQueue(b), 100);
  EXPECT_EQ(SerialPortOutQueue(a), 0);
  EXPECT_EQ(ReadPort(b, 100), hundred);
  EXPECT_EQ(SerialPortInQueue(b), 0);

  ASSERT_EQ(SerialPortWrite(a, hundred.data(), 3), 3);
  Eventually([&] { return SerialPortInQueue(b) >= 3; }, TransferLimitMs / 1000.0);
  EXPECT_EQ(SerialPortInQueue(b), 3);
  EXPECT_EQ(SerialPortDrain(b), 0);
  EXPECT_EQ(SerialPortInQueue(b), 0);

  for (int byte : {0xC1, 0x80, 0xFF}) EXPECT_EQ(SerialPortWriteByte(a, byte), 0) << byte;
  EXPECT_EQ(NextByte(b), 0xC1);
  EXPECT_EQ(SerialPortSetFormat(b, 0, 0, 7), 0);
  EXPECT_EQ(ReadPort(b, 2), (Bytes{0x00, 0x7F}));
}

TEST_F(SerialPairTest, ImmediateReadsPendingByteAndBadArguments) {
  OpenBoth();
  uint8_t buffer[64];
  const auto start = Clock::now();
  EXPECT_EQ(SerialPortRead(a, buffer, sizeof buffer), 0);
  EXPECT_EQ(SerialPortReadByte(a), SerialPortBusy);
  EXPECT_EQ(SerialPortDrain(a), 0);
  EXPECT_LT(MillisecondsSince(start), 200);
  EXPECT_EQ((std::vector{SerialPortRead(a, nullptr, 5), SerialPortRead(a, buffer, 0), SerialPortWrite(a, nullptr, 3),
                         SerialPortWrite(a, buffer, 0)}),
            std::vector<int>(4, SerialPortBadArgument));

  EXPECT_EQ(SerialPortPushBack(a, 0x41), 0);
  EXPECT_EQ(SerialPortRead(a, buffer, sizeof buffer), 1);
  EXPECT_EQ(buffer[0], 0x41);
  EXPECT_EQ(SerialPortRead(a, buffer, sizeof buffer), 0);  // the pending byte is handed out once
  SerialPortPushBack(a, 0x42);
  EXPECT_EQ(SerialPortReadByte(a), 0x42);
  SerialPortPushBack(a, 0);  // 0 cannot be pending
  EXPECT_EQ(SerialPortReadByte(a), SerialPortBusy);

  EXPECT_EQ(SerialPortWriteByte(b, 0x5A), 0);
  EXPECT_EQ(NextByte(a), 0x5A);
  EXPECT_EQ(SerialPortReadByte(a), SerialPortBusy);
}

// A synchronous write writes every byte, or gives up with -103 once no byte has moved for 3 s: 3 s after
// the line filled up when the peer reads nothing, never while the peer takes a few bytes at a time,
// however long that lasts.
TEST_F(SerialPairTest, WriteGivesUpOnlyWhenNoByteMovesForThreeSeconds) {
  OpenBoth();
  const Bytes flood = Pattern(4 << 20, 4);
  auto start = Clock::now();
  EXPECT_EQ(SerialPortWrite(a, flood.data(), static_cast<int>(flood.size())), SerialPortIoFailed);
  const long long stalled = MillisecondsSince(start);
  EXPECT_EQ(SerialPortLastError(nullptr, 0), TimeOutError);
  EXPECT_GE(stalled, StallLimitMs);
  EXPECT_LT(stalled, 5 * StallLimitMs);
  const size_t held = DrainUntilQuiet(b);  // what the line took in before it stalled

  // A relay may let the writer on in bursts of what it holds (socat: some kilobytes): at this pace one
  // comes about every second, so bytes move well within each 3 s.
  constexpr int PerSecond = 16000;
  const Bytes out = Pattern(held + 5 * PerSecond, 5);
  Bytes got;
  std::thread reader([&] { got = ReadSlowly(b, out.size(), PerSecond); });
  start = Clock::now();
  EXPECT_EQ(SerialPortWrite(a, out.data(), static_cast<int>(out.size())), static_cast<int>(out.size()));
  const long long steady = MillisecondsSince(start);
  reader.join();
  EXPECT_GT(steady, StallLimitMs) << "the write outlasts the stall limit";
  EXPECT_EQ(got, out);
  std::printf("write stalled from the start: -103 after %lld ms; %zu bytes read slowly: written in %lld ms\n", stalled,
              out.size(), steady);
}

// The pair has no modem lines: every line reads off, the line flags follow the letters and outlive a
// close, and no request may crash or stop the port.
TEST_F(SerialPairTest, LinesAndBreakOnALineWithoutModemSignals) {
  OpenBoth();
  for (int letter : {'S', 'C'}) {
    for (int answer : {SerialPortDtr(a, letter), SerialPortRts(a, letter)})
      EXPECT_TRUE(answer == 0 || answer == 1) << answer;
    EXPECT_EQ(SerialPortDtr(a, 'R'), letter == 'S' ? 1 : 0);
    EXPECT_EQ(SerialPortRts(a, 'R'), letter == 'S' ? 2 : 0);
    EXPECT_EQ(std::make_tuple(SerialPortCts(b), SerialPortDsr(b), SerialPortRing(b), SerialPortRlsd(b)),
              std::make_tuple(0, 0, 0, 0));
  }
  EXPECT_EQ(SerialPortDtr(a, 'X'), SerialPortBadArgument);
  EXPECT_EQ(SerialPortRts(a, 'X'), SerialPortBadArgument);
  for (int letter : {'H', 'S', 'N'}) EXPECT_EQ(SerialPortSetHandshake(a, letter), 0);

  const int start = SerialPortBreak(a, 'A');
  Pause(50);
  for (int answer : {start, SerialPortBreak(a, 'C')}) EXPECT_TRUE(answer == 0 || answer == 1) << answer;
  EXPECT_EQ(SerialPortBreak(b, 'D'), 0);
  EXPECT_EQ(SerialPortBreak(a, 'Q'), SerialPortBadArgument);
  EXPECT_EQ(SerialPortErrors(b, 31), 0);
  ExpectTransfer(a, b, 200, 6);
  ExpectTransfer(b, a, 200, 7);

  SerialPortRts(a, 'S');
  SerialPortClose(a);
  ASSERT_EQ(SerialPortOpen(a, 400, 400), 0);
  EXPECT_EQ(SerialPortRts(a, 'R'), 2);  // line flags outlive the close
  SerialPortRts(a, 'C');
}

// One watch gives one message, at the event or, on a device that cannot wait for it (a pseudo-terminal
// under Wine ends every wait at once), when the wait ends.
TEST_F(SerialPairTest, WatchGivesOneMessage) {
  OpenBoth();
  WatchProbe probe;
  ASSERT_EQ(SerialPortWatch(b, WatchProbe::Notify, &probe, 0x4400, SerialEventRxChar), 0);
  if (!RunsUnderWine()) {
    Pause(30);
    EXPECT_EQ(probe.calls, 0);
  }
  EXPECT_EQ(SerialPortWriteByte(a, 0x31), 0);
  ASSERT_TRUE(probe.waitFor(1, TransferLimitMs));
  EXPECT_EQ(std::make_tuple(probe.message.load(), probe.first.load(), probe.second.load()),
            std::make_tuple(0x4400u, uintptr_t{1}, intptr_t{0}));
  EXPECT_EQ(SerialPortWriteByte(a, 0x32), 0);
  Pause(200);
  EXPECT_EQ(probe.calls, 1);
  EXPECT_EQ(ReadPort(b, 2), (Bytes{0x31, 0x32}));
}

// A watch for an event that never comes must neither hold up the port's other calls nor its stop.
TEST_F(SerialPairTest, WatchLeavesThePortUsableAndStopsAtOnce) {
  OpenBoth();
  WatchProbe probe;
  ASSERT_EQ(SerialPortWatch(b, WatchProbe::Notify, &probe, 1, SerialEventCts), 0);
  Pause(100);
  auto start = Clock::now();
  ExpectTransfer(a, b, 300, 8);
  ExpectTransfer(b, a, 300, 9);
  EXPECT_EQ(SerialPortInQueue(b), 0);
  EXPECT_LT(MillisecondsSince(start), TransferLimitMs);

  const int before = probe.calls;
  start = Clock::now();
  EXPECT_EQ(SerialPortWatch(b, nullptr, nullptr, 0, 0), 1);  // stops the waiting watch quietly
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_EQ(probe.calls, before);
  ASSERT_EQ(SerialPortWatch(b, WatchProbe::Notify, &probe, 1, SerialEventCts), 0);
  ASSERT_EQ(SerialPortWatch(b, WatchProbe::Notify, &probe, 1, SerialEventRing), 0);  // replaces the first
  Pause(100);
  start = Clock::now();
  EXPECT_EQ(SerialPortClose(b), 1);
  EXPECT_LT(MillisecondsSince(start), 1000);
  const int calls = probe.calls;
  Pause(100);
  EXPECT_EQ(probe.calls, calls);  // nothing after the close
  EXPECT_LE(calls, 3);
  EXPECT_EQ(SerialPortOpen(b, 4000, 4000), 0);  // and the port opens again
  ExpectTransfer(a, b, 100, 10);
}

TEST_F(SerialPairTest, BackgroundWriteCopiesTheBytesAndRunsBesideTheCaller) {
  OpenBoth();
  ASSERT_EQ(SerialPortOption('W'), 'W');
  Bytes bytes = Pattern(3000, 10);
  const Bytes out = bytes;
  EXPECT_EQ(SerialPortWrite(a, bytes.data(), static_cast<int>(bytes.size())), 0);
  bytes.assign(bytes.size(), 0);  // the caller's buffer may change at once
  const Bytes got = ReadPort(b, out.size());
  int second = SerialPortBusy;  // until the first write's thread has finished
  Eventually([&] { return (second = SerialPortWrite(a, out.data(), 10)) != SerialPortBusy; }, 1);
  EXPECT_EQ(second, 0);
  ASSERT_EQ(SerialPortOption('W'), 'W');
  EXPECT_EQ(got, out);
  EXPECT_EQ(ReadPort(b, 10), Bytes(out.begin(), out.begin() + 10));
  SerialPortClose(a);
  ASSERT_EQ(SerialPortOpen(a, 4000, 4000), 0);
  EXPECT_EQ(SerialPortWrite(a, out.data(), 10), 10);  // synchronous again
}

// Closing the port stops a background write that the line holds up: within a wait slice where the system
// cancels the pending request, at the latest when the write's stall limit (3 s) ends it.
TEST_F(SerialPairTest, CloseStopsAStalledBackgroundWrite) {
  OpenBoth();
  ASSERT_EQ(SerialPortOption('W'), 'W');
  const Bytes flood = Pattern(4 << 20, 14);
  EXPECT_EQ(SerialPortWrite(a, flood.data(), static_cast<int>(flood.size())), 0);
  ASSERT_EQ(SerialPortOption('W'), 'W');
  Pause(500);
  EXPECT_EQ(SerialPortWrite(a, flood.data(), 10), SerialPortBusy);  // still held up
  const auto start = Clock::now();
  EXPECT_EQ(SerialPortClose(a), 1);
  EXPECT_LT(MillisecondsSince(start), 2 * StallLimitMs);
  DrainUntilQuiet(b);
  ASSERT_EQ(SerialPortOpen(a, 4000, 4000), 0);
  ExpectTransfer(a, b, 300, 15);
}

}  // namespace
