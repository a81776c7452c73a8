// Serial devices on Linux: terminal devices in raw mode, reached through the COM port mapping.
// Devices without modem lines (pseudo-terminals) read their lines as off and accept line changes.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "serial/serial_baud_linux.h"
#include "serial/serial_device.h"
#include "platform/com_device.h"
#include "platform/system_error.h"

namespace {

using Clock = std::chrono::steady_clock;

// A write makes no progress for this long (flow control holding it, a peer that reads nothing) before it
// gives up.
constexpr auto WriteStallLimit = std::chrono::seconds(3);
constexpr int WatchPollMs = 20;

bool NoModemLines(int error) { return error == ENOTTY || error == EINVAL; }

class PosixSerialDevice final : public SerialDevice {
 public:
  explicit PosixSerialDevice(ComHandle handle) : fd_(static_cast<int>(handle)) { haveCounters_ = readCounters(base_); }
  ~PosixSerialDevice() override { ComDeviceClose(fd_); }

  bool SaveTimeouts() override {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return fail();
    savedMin_ = t.c_cc[VMIN];
    savedTime_ = t.c_cc[VTIME];
    return true;
  }

  bool RestoreTimeouts() override { return setReadTimeouts(savedMin_, savedTime_); }
  bool SetImmediateReads() override { return setReadTimeouts(0, 0); }

  bool ReadSettings(SerialLineSettings& s) override {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return fail();
    uint32_t baud = 0;
    if (SerialGetBaudRate(fd_, baud)) s.baud = baud;
    s.byteSize = ByteSizeOf(t.c_cflag);
    s.parity = ParityOf(t.c_cflag);
    s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
    s.outCtsFlow = (t.c_cflag & CRTSCTS) != 0;
    s.rtsControl = s.outCtsFlow ? SerialControlHandshake : SerialControlEnable;
    s.outX = (t.c_iflag & IXON) != 0;
    s.inX = (t.c_iflag & IXOFF) != 0;
    s.xonChar = t.c_cc[VSTART];
    s.xoffChar = t.c_cc[VSTOP];
    return true;
  }

  bool ApplySettings(const SerialLineSettings& s) override {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return fail();
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | SizeFlag(s.byteSize) | ParityFlags(s.parity);
    if (s.stopBits != 0) t.c_cflag |= CSTOPB;  // one and a half stop bits do not exist here: two
    if (s.outCtsFlow || s.rtsControl == SerialControlHandshake) t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (s.outX) t.c_iflag |= IXON;
    if (s.inX) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = s.xonChar;
    t.c_cc[VSTOP] = s.xoffChar;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd_, TCSANOW, &t) != 0) return fail();
    if (!SerialSetBaudRate(fd_, s.baud)) return fail();
    SetLine(SerialLine::Dtr, s.dtrControl != SerialControlDisable);
    SetLine(SerialLine::Rts, s.rtsControl != SerialControlDisable);
    return true;
  }

  bool SetQueueSizes(uint32_t, uint32_t) override { return true; }  // the kernel's buffers are fixed
  bool ResetDevice() override { return true; }                      // no general device reset here

  bool SetLine(SerialLine line, bool on) override {
    int bits = line == SerialLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 || NoModemLines(errno)) return true;
    return fail();
  }

  bool SetBreak(bool on) override {
    if (ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0) return true;
    return fail();
  }

  bool ModemStatus(uint32_t& bits) override {
    int lines = 0;
    bits = 0;
    if (ioctl(fd_, TIOCMGET, &lines) != 0) return NoModemLines(errno) ? true : fail();
    if (lines & TIOCM_CTS) bits |= SerialModemCts;
    if (lines & TIOCM_DSR) bits |= SerialModemDsr;
    if (lines & TIOCM_RI) bits |= SerialModemRing;
    if (lines & TIOCM_CD) bits |= SerialModemRlsd;
    return true;
  }

  bool LineStatus(SerialLineStatus& status) override {
    int in = 0, out = 0;
    if (ioctl(fd_, TIOCINQ, &in) != 0 || ioctl(fd_, TIOCOUTQ, &out) != 0) return fail();
    status.inQueue = static_cast<uint32_t>(in);
    status.outQueue = static_cast<uint32_t>(out);
    status.errors = 0;
    serial_icounter_struct now{};
    if (haveCounters_ && readCounters(now)) {
      status.errors = ErrorFlags(base_, now);
      base_ = now;
    }
    return true;
  }

  int Read(uint8_t* buffer, int max) override {
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, static_cast<size_t>(max));
      if (got >= 0) return static_cast<int>(got);
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
      fail();
      return -1;
    }
  }

  int Write(const uint8_t* bytes, int count, const std::atomic<bool>& cancel) override {
    int done = 0;
    auto progress = Clock::now();
    while (done < count && !cancel) {
      const ssize_t n = ::write(fd_, bytes + done, static_cast<size_t>(count - done));
      if (n > 0) {
        done += static_cast<int>(n);
        progress = Clock::now();
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        fail();
        return done > 0 ? done : -1;
      }
      if (Clock::now() - progress > WriteStallLimit) {
        errno = ETIMEDOUT;
        fail();
        break;
      }
      pollfd p{fd_, POLLOUT, 0};
      poll(&p, 1, WatchPollMs);
    }
    return done;
  }

  void WaitEvent(uint32_t mask, const std::atomic<bool>& cancel) override {
    uint32_t linesBefore = 0;
    ModemStatus(linesBefore);
    serial_icounter_struct countsBefore{};
    const bool counters = readCounters(countsBefore);
    int outBefore = 0;
    ioctl(fd_, TIOCOUTQ, &outBefore);
    while (!cancel) {
      pollfd p{fd_, static_cast<short>((mask & SerialEventRxChar) ? POLLIN : 0), 0};
      const int ready = poll(&p, 1, WatchPollMs);
      if (ready > 0 && (p.revents & POLLIN)) return;
      // A hung-up device answers every poll at once: keep the pace of a quiet line instead of spinning.
      if (ready > 0) std::this_thread::sleep_for(std::chrono::milliseconds(WatchPollMs));
      if (linesChanged(mask, linesBefore)) return;
      serial_icounter_struct now{};
      if (counters && readCounters(now) && CountedEvent(mask, countsBefore, now)) return;
      int out = 0;
      if ((mask & SerialEventTxEmpty) && ioctl(fd_, TIOCOUTQ, &out) == 0) {
        if (out == 0 && outBefore > 0) return;
        outBefore = out;
      }
    }
  }

  SerialFailure LastFailure() const override {
    std::lock_guard<std::mutex> hold(failureLock_);
    return failure_;
  }

 private:
  static uint8_t ByteSizeOf(tcflag_t c) {
    switch (c & CSIZE) {
      case CS5:
        return 5;
      case CS6:
        return 6;
      case CS7:
        return 7;
      default:
        return 8;
    }
  }

  static uint8_t ParityOf(tcflag_t c) {
    if (!(c & PARENB)) return 0;
    if (c & CMSPAR) return (c & PARODD) ? 3 : 4;
    return (c & PARODD) ? 1 : 2;
  }

  static tcflag_t SizeFlag(uint8_t bits) {
    switch (bits) {
      case 5:
        return CS5;
      case 6:
        return CS6;
      case 7:
        return CS7;
      default:
        return CS8;
    }
  }

  static tcflag_t ParityFlags(uint8_t parity) {
    switch (parity) {
      case 1:
        return PARENB | PARODD;
      case 2:
        return PARENB;
      case 3:
        return PARENB | CMSPAR | PARODD;
      case 4:
        return PARENB | CMSPAR;
      default:
        return 0;
    }
  }

  static uint32_t ErrorFlags(const serial_icounter_struct& a, const serial_icounter_struct& b) {
    uint32_t flags = 0;
    if (b.buf_overrun != a.buf_overrun) flags |= SerialErrorOverflow;
    if (b.overrun != a.overrun) flags |= SerialErrorOverrun;
    if (b.parity != a.parity) flags |= SerialErrorParity;
    if (b.frame != a.frame) flags |= SerialErrorFraming;
    if (b.brk != a.brk) flags |= SerialErrorBreak;
    return flags;
  }

  static bool CountedEvent(uint32_t mask, const serial_icounter_struct& a, const serial_icounter_struct& b) {
    const uint32_t flags = ErrorFlags(a, b);
    if ((mask & SerialEventBreak) && (flags & SerialErrorBreak)) return true;
    return (mask & SerialEventError) && (flags & ~SerialErrorBreak) != 0;
  }

  bool linesChanged(uint32_t mask, uint32_t before) {
    uint32_t now = 0;
    if (!ModemStatus(now)) return false;
    const uint32_t changed = now ^ before;
    return ((mask & SerialEventCts) && (changed & SerialModemCts)) ||
           ((mask & SerialEventDsr) && (changed & SerialModemDsr)) ||
           ((mask & SerialEventRlsd) && (changed & SerialModemRlsd)) ||
           ((mask & SerialEventRing) && (changed & SerialModemRing));
  }

  bool readCounters(serial_icounter_struct& counts) const { return ioctl(fd_, TIOCGICOUNT, &counts) == 0; }

  bool setReadTimeouts(cc_t min, cc_t time) {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return fail();
    t.c_cc[VMIN] = min;
    t.c_cc[VTIME] = time;
    if (tcsetattr(fd_, TCSANOW, &t) != 0) return fail();
    return true;
  }

  bool fail() {
    const int error = errno;
    std::lock_guard<std::mutex> hold(failureLock_);
    failure_.code = static_cast<uint32_t>(SystemErrorNumber(ErrorNumbering::Win32, error));
    failure_.text = SystemErrorText(error);
    return false;
  }

  int fd_;
  cc_t savedMin_ = 0;
  cc_t savedTime_ = 0;
  bool haveCounters_ = false;
  serial_icounter_struct base_{};
  mutable std::mutex failureLock_;
  SerialFailure failure_;
};

}  // namespace

std::unique_ptr<SerialDevice> OpenSystemSerialDevice(int index, SerialFailure& failure) {
  const ComOpenResult opened = ComDeviceOpen(index + 1);
  if (opened.handle != ComInvalidHandle) return std::make_unique<PosixSerialDevice>(opened.handle);
  failure.code = static_cast<uint32_t>(opened.error);
  failure.text = SystemErrorText(opened.osError);
  if (opened.osError == EWOULDBLOCK || opened.osError == EBUSY)
    failure.text = SystemErrorText(EBUSY) + ": the port is in use by another program";
  const std::string path = ComDevicePath(index + 1);
  if (!path.empty()) failure.text += " (" + path + ")";
  return nullptr;
}

std::string SerialSystemErrorText(uint32_t code) {
  // Win32 numbers the driver reports for itself; others are the platform's own.
  if (code == 0) return "The operation completed successfully.";
  if (code == 5) return "Access is denied.";
  return SystemErrorText(static_cast<int>(code));
}
