// Serial port driver behaviours of this system alone: terminal settings, exclusive open against other
// processes and permissions, hung-up devices, and the simulated null-modem cable for modem lines, break
// and error flags.
#include "serial/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <tuple>

#include "serial/serial_baud_linux.h"
#include "null_modem.h"
#include "serial_test_support.h"

namespace {

// Whether `body`, run in a child process of its own, returned true.
bool InChild(const std::function<bool()>& body) {
  const pid_t child = fork();
  if (child == 0) _exit(body() ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class SerialPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SerialPortSetBaud(-1, 19200);
    SerialPortSetFormat(-1, 0, 0, 8);
    root.link(3, pty.slavePath());
  }
  void TearDown() override { SerialPortClose(2); }
  ComRoot root;
  PtyPair pty;
};

TEST_F(SerialPtyTest, LineSettingsReachTheTerminal) {
  ASSERT_EQ(SerialPortOpen(2, 400, 400), 0);
  const int slave = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);  // root may look past TIOCEXCL
  if (slave < 0) GTEST_SKIP() << "the port's terminal settings cannot be read alongside the driver";
  // A pseudo-terminal keeps eight data bits and no parity enable whatever it is told; the other
  // flags show what the driver asked for.
  constexpr tcflag_t shown = PARODD | CMSPAR | CSTOPB | CRTSCTS, software = IXON | IXOFF;
  const struct {
    int parity, stopBits, dataBits, handshake;
    tcflag_t control, input;
  } rows[] = {{3, 2, 7, 'H', shown, 0},          // mark parity, two stop bits, seven data bits
              {4, 0, 8, 'S', CMSPAR, software},  // space parity, one stop bit
              {1, 0, 8, 'N', PARODD, 0}};        // odd parity
  for (const auto& row : rows) {
    SerialPortSetFormat(2, row.parity, row.stopBits, row.dataBits);
    SerialPortSetHandshake(2, row.handshake);
    termios t{};
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    // The XON and XOFF characters are set whatever the handshake, for the one that uses them.
    EXPECT_EQ(std::make_tuple(t.c_cflag & shown, t.c_iflag & software, t.c_lflag & (ICANON | ECHO), t.c_cc[VSTART],
                              t.c_cc[VSTOP]),
              std::make_tuple(row.control, row.input, tcflag_t{0}, cc_t{0x11}, cc_t{0x13}))
        << static_cast<char>(row.handshake);
  }
  SerialPortSetFormat(2, 0, 0, 8);
  for (uint32_t rate : {250000u, 10u}) {  // rates off the standard list reach the terminal as well
    EXPECT_EQ(SerialPortSetBaud(2, static_cast<int>(rate)), 1);
    uint32_t actual = 0;
    EXPECT_TRUE(SerialGetBaudRate(slave, actual));
    EXPECT_EQ(actual, rate);
  }
  close(slave);
}

TEST_F(SerialPtyTest, PortHeldElsewhereIsBusy) {
  ASSERT_EQ(SerialPortOpen(2, 100, 100), 0);
  root.link(4, pty.slavePath());  // the same device under another name, opened by another process
  EXPECT_TRUE(InChild(
      [] { return SerialPortOpen(3, 100, 100) == SerialPortOpenFailed && SerialPortLastError(nullptr, 0) == 5; }));
  SerialPortClose(2);

  // Any other program's lock: flock locks belong to an open of the device, not to a process.
  const int other = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  EXPECT_EQ(SerialPortOpen(2, 100, 100), SerialPortOpenFailed);
  char text[200];
  EXPECT_EQ(SerialPortLastError(text, sizeof text), 5);
  EXPECT_NE(std::string(text).find("in use"), std::string::npos) << text;
  close(other);
  EXPECT_EQ(SerialPortOpen(2, 100, 100), 0);
}

TEST_F(SerialPtyTest, PermissionDeniedIsNamedInTheText) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to another user";
  chmod(pty.slavePath().c_str(), 0600);
  chmod(root.path().c_str(), 0755);
  EXPECT_TRUE(InChild([] {
    if (setgid(65534) != 0 || setuid(65534) != 0) return false;
    char text[200] = "";
    const bool failed = SerialPortOpen(2, 100, 100) == SerialPortOpenFailed;
    SerialPortLastError(text, sizeof text);
    return failed && std::string(text).find("Permission denied") != std::string::npos;
  }));
}

// A device that hangs up (an adapter pulled out) under a watch for line changes must leave the
// processor idle until the watch ends, as a quiet line does.
TEST_F(SerialPtyTest, WatchOnAHungUpDeviceKeepsItsPace) {
  auto pulled = std::make_unique<PtyPair>();
  root.link(4, pulled->slavePath());
  ASSERT_EQ(SerialPortOpen(3, 4000, 4000), 0);
  WatchProbe probe;
  ASSERT_EQ(SerialPortWatch(3, WatchProbe::Notify, &probe, 1, SerialEventCts), 0);
  pulled.reset();  // the master closes: the terminal hangs up
  const double before = ProcessorSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const double busy = ProcessorSeconds() - before;
  SerialPortClose(3);
  EXPECT_LT(busy, 0.1) << "seconds of processor time while waiting 0.4 s";
  EXPECT_EQ(probe.calls, 0);
}

TEST_F(SerialPtyTest, ProgramMayEndWithAWatchAndAWriterRunning) {
  EXPECT_TRUE(InChild([]() -> bool {
    SerialPortOption('W');
    WatchProbe probe;
    const auto bytes = Pattern(100);
    const bool started = SerialPortOpen(2, 4000, 4000) == 0 &&
                         SerialPortWatch(2, WatchProbe::Notify, &probe, 1, SerialEventCts) == 0 &&
                         SerialPortWrite(2, bytes.data(), 100) == 0;
    std::exit(started ? 0 : 1);  // runs the driver's clean-up with both threads in place
  }));
}

class SerialCableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    null_modem::Install(0, 1);
    SerialPortSetBaud(-1, 19200);
    SerialPortSetFormat(-1, 0, 0, 8);
    SerialPortOpen(-1, 0, 0);
    ASSERT_EQ(SerialPortOpen(0, 4000, 4000), 0);
    ASSERT_EQ(SerialPortOpen(1, 4000, 4000), 0);
  }
  void TearDown() override {
    SerialPortClose(0);
    SerialPortClose(1);
    null_modem::Uninstall();
  }
};

TEST_F(SerialCableTest, ModemLinesCrossTheCable) {
  // What the far end sees: DSR, carrier detect and CTS.
  const auto seen = [] { return std::make_tuple(SerialPortDsr(1), SerialPortRlsd(1), SerialPortCts(1)); };
  EXPECT_EQ(seen(), std::make_tuple(0, 0, 0));
  EXPECT_EQ(SerialPortDtr(0, 'S'), 1);
  EXPECT_EQ(seen(), std::make_tuple(SerialModemDsr, SerialModemRlsd, 0));
  EXPECT_EQ(SerialPortRts(0, 'S'), 1);
  EXPECT_EQ(seen(), std::make_tuple(SerialModemDsr, SerialModemRlsd, SerialModemCts));
  EXPECT_EQ(SerialPortDtr(0, 'C'), 1);
  EXPECT_EQ(seen(), std::make_tuple(0, 0, SerialModemCts));
  SerialPortRts(0, 'C');
  // Format changes re-raise what the line flags hold.
  SerialPortDtr(1, 'S');
  SerialPortSetFormat(1, 2, 0, 8);
  EXPECT_EQ(SerialPortDsr(0), SerialModemDsr);
  SerialPortDtr(1, 'C');
}

TEST_F(SerialCableTest, OpenDefaultsBaudAndHandshakeReachTheDevice) {
  SerialPortClose(0);
  SerialPortOpen(-1, 1, 1);
  ASSERT_EQ(SerialPortOpen(0, 4000, 4000), 0);
  EXPECT_EQ(std::make_tuple(null_modem::Dtr(0), null_modem::Rts(0), null_modem::Baud(0)),
            std::make_tuple(true, true, 19200u));
  EXPECT_EQ(SerialPortSetBaud(0, 5), 1);
  EXPECT_EQ(null_modem::Baud(0), 9600u);
  EXPECT_EQ(SerialPortSetBaud(0, 10), 1);
  EXPECT_EQ(null_modem::Baud(0), 10u);
  for (auto [letter, hardware] : {std::pair{'H', true}, {'Z', true}, {'N', false}}) {  // 'Z' changes nothing
    SerialPortSetHandshake(0, letter);
    EXPECT_EQ(null_modem::HardwareFlow(0), hardware) << letter;
  }
  EXPECT_FALSE(null_modem::Rts(0));
  SerialPortOpen(-1, 0, 0);
}

TEST_F(SerialCableTest, BreakAndLineErrorsAreReportedOnceAndMasked) {
  EXPECT_EQ(SerialPortBreak(0, 'A'), 1);
  EXPECT_EQ(SerialPortBreak(0, 'C'), 1);
  EXPECT_EQ(SerialPortBreak(1, 'D'), SerialErrorBreak);
  EXPECT_EQ(SerialPortBreak(1, 'D'), 0);
  null_modem::InjectErrors(1, SerialErrorParity | SerialErrorFraming);
  EXPECT_EQ(SerialPortErrors(1, SerialErrorParity), SerialErrorParity);
  EXPECT_EQ(SerialPortErrors(1, 31), 0);  // reading cleared every flag
  null_modem::InjectErrors(0, SerialErrorOverrun);
  EXPECT_EQ(SerialPortInQueue(0), 0);  // any status query clears the flags
  EXPECT_EQ(SerialPortErrors(0, 31), 0);
}

TEST_F(SerialCableTest, WatchSeesPeerLineChange) {
  WatchProbe probe;
  ASSERT_EQ(SerialPortWatch(1, WatchProbe::Notify, &probe, 7, SerialEventDsr), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // the watch samples the lines first
  SerialPortDtr(0, 'S');
  EXPECT_TRUE(probe.waitFor(1));
  SerialPortDtr(0, 'C');
  ASSERT_EQ(SerialPortWatch(1, WatchProbe::Notify, &probe, 7, SerialEventBreak), 0);
  SerialPortClose(1);  // a close stops a waiting watch without a notification
  EXPECT_EQ(probe.calls, 1);
}

}  // namespace
