// Serial devices on Windows: the communications functions of the file interface on "\\.\COMn".
#include <windows.h>

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "serial/serial_device.h"
#include "platform/com_device.h"
#include "platform/system_error.h"

namespace {

// Bytes per WriteFile call, so that a cancelled background write stops between pieces.
constexpr DWORD WritePiece = 256;
// A write that moves no byte for this long (flow control holding it, a peer that reads nothing) gives
// up with the count sent so far, as on every platform, instead of holding its caller for ever.
constexpr DWORD WriteStallLimitMs = 3000;

class Win32SerialDevice final : public SerialDevice {
 public:
  explicit Win32SerialDevice(HANDLE handle) : h_(handle) { dcb_.DCBlength = sizeof dcb_; }
  ~Win32SerialDevice() override { ComDeviceClose(reinterpret_cast<ComHandle>(h_)); }

  bool saveTimeouts() override { return GetCommTimeouts(h_, &saved_) ? true : fail(); }
  bool restoreTimeouts() override { return SetCommTimeouts(h_, &saved_) ? true : fail(); }

  bool setImmediateReads() override {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;  // with both read totals 0: return at once with what has arrived
    t.WriteTotalTimeoutConstant = WriteStallLimitMs;  // per piece: a piece that moves nothing ends the write
    return SetCommTimeouts(h_, &t) ? true : fail();
  }

  bool readSettings(SerialLineSettings& s) override {
    if (!GetCommState(h_, &dcb_)) return fail();
    s.baud = dcb_.BaudRate;
    s.byteSize = dcb_.ByteSize;
    s.parity = dcb_.Parity;
    s.stopBits = dcb_.StopBits;
    s.binary = dcb_.fBinary != 0;
    s.outCtsFlow = dcb_.fOutxCtsFlow != 0;
    s.outDsrFlow = dcb_.fOutxDsrFlow != 0;
    s.dtrControl = static_cast<uint8_t>(dcb_.fDtrControl);
    s.rtsControl = static_cast<uint8_t>(dcb_.fRtsControl);
    s.dsrSensitivity = dcb_.fDsrSensitivity != 0;
    s.txContinueOnXoff = dcb_.fTXContinueOnXoff != 0;
    s.outX = dcb_.fOutX != 0;
    s.inX = dcb_.fInX != 0;
    s.nullDiscard = dcb_.fNull != 0;
    s.abortOnError = dcb_.fAbortOnError != 0;
    s.xonChar = static_cast<uint8_t>(dcb_.XonChar);
    s.xoffChar = static_cast<uint8_t>(dcb_.XoffChar);
    s.xonLimit = dcb_.XonLim;
    s.xoffLimit = dcb_.XoffLim;
    return true;
  }

  // Fields the driver does not manage (parity check, error replacement) stay as the device had them.
  bool applySettings(const SerialLineSettings& s) override {
    dcb_.BaudRate = s.baud;
    dcb_.ByteSize = s.byteSize;
    dcb_.Parity = s.parity;
    dcb_.StopBits = s.stopBits;
    dcb_.fBinary = s.binary;
    dcb_.fOutxCtsFlow = s.outCtsFlow;
    dcb_.fOutxDsrFlow = s.outDsrFlow;
    dcb_.fDtrControl = s.dtrControl == SerialControlEnable ? DTR_CONTROL_ENABLE
                       : s.dtrControl == SerialControlHandshake ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
    dcb_.fRtsControl = s.rtsControl == SerialControlEnable ? RTS_CONTROL_ENABLE
                       : s.rtsControl == SerialControlHandshake ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    dcb_.fDsrSensitivity = s.dsrSensitivity;
    dcb_.fTXContinueOnXoff = s.txContinueOnXoff;
    dcb_.fOutX = s.outX;
    dcb_.fInX = s.inX;
    dcb_.fNull = s.nullDiscard;
    dcb_.fAbortOnError = s.abortOnError;
    dcb_.XonChar = static_cast<char>(s.xonChar);
    dcb_.XoffChar = static_cast<char>(s.xoffChar);
    dcb_.XonLim = s.xonLimit;
    dcb_.XoffLim = s.xoffLimit;
    return SetCommState(h_, &dcb_) ? true : fail();
  }

  bool setQueueSizes(uint32_t receive, uint32_t transmit) override {
    return SetupComm(h_, receive, transmit) ? true : fail();
  }

  bool resetDevice() override { return EscapeCommFunction(h_, RESETDEV) ? true : fail(); }

  bool setLine(SerialLine line, bool on) override {
    const DWORD function = line == SerialLine::Dtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
    return EscapeCommFunction(h_, function) ? true : fail();
  }

  bool setBreak(bool on) override { return (on ? SetCommBreak(h_) : ClearCommBreak(h_)) ? true : fail(); }

  bool modemStatus(uint32_t& bits) override {
    DWORD status = 0;
    bits = 0;
    if (!GetCommModemStatus(h_, &status)) return fail();
    bits = status & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);  // the driver's numbers are these
    return true;
  }

  bool lineStatus(SerialLineStatus& status) override {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(h_, &errors, &stat)) return fail();
    status.errors = errors & (CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK);
    status.inQueue = stat.cbInQue;
    status.outQueue = stat.cbOutQue;
    return true;
  }

  int read(uint8_t* buffer, int max) override {
    DWORD got = 0;
    if (!ReadFile(h_, buffer, static_cast<DWORD>(max), &got, nullptr)) return fail(), -1;
    return static_cast<int>(got);
  }

  int write(const uint8_t* bytes, int count, const std::atomic<bool>& cancel) override {
    Blocked blocked(*this, cancel);
    int done = 0;
    while (done < count && !cancel) {
      DWORD wrote = 0;
      const DWORD piece = std::min<DWORD>(WritePiece, static_cast<DWORD>(count - done));
      if (!WriteFile(h_, bytes + done, piece, &wrote, nullptr)) return done > 0 ? done : (fail(), -1);
      if (wrote == 0) break;  // stalled for the whole limit
      done += static_cast<int>(wrote);
    }
    return done;
  }

  void waitEvent(uint32_t mask, const std::atomic<bool>& cancel) override {
    Blocked blocked(*this, cancel);
    SetCommMask(h_, mask);
    if (cancel) return;
    DWORD happened = 0;
    WaitCommEvent(h_, &happened, nullptr);
  }

  // Ends the waits of threads whose cancel flag is set. The handle is synchronous, so the system runs one
  // call on it at a time: the blocked call is cancelled first, or SetCommMask would wait behind it for
  // ever. A WaitCommEvent begun after the cleared mask fails at once; waitEvent checks the flag before it.
  void interrupt() override {
    std::lock_guard<std::mutex> hold(blockedLock_);
    for (auto& entry : blocked_) {
      if (!*entry.first) continue;
      CancelSynchronousIo(entry.second);
      SetCommMask(h_, 0);
    }
  }

  SerialFailure lastFailure() const override {
    std::lock_guard<std::mutex> hold(failureLock_);
    return failure_;
  }

 private:
  // Registers the calling thread while it may block, so that interrupt() can reach it.
  class Blocked {
   public:
    Blocked(Win32SerialDevice& device, const std::atomic<bool>& cancel) : device_(device) {
      HANDLE self = nullptr;
      DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
      std::lock_guard<std::mutex> hold(device_.blockedLock_);
      device_.blocked_.emplace_back(&cancel, self);
      entry_ = self;
    }
    ~Blocked() {
      std::lock_guard<std::mutex> hold(device_.blockedLock_);
      auto& list = device_.blocked_;
      list.erase(std::remove_if(list.begin(), list.end(), [this](const auto& e) { return e.second == entry_; }),
                 list.end());
      CloseHandle(entry_);
    }

   private:
    Win32SerialDevice& device_;
    HANDLE entry_ = nullptr;
  };

  bool fail() {
    const int error = static_cast<int>(GetLastError());
    std::lock_guard<std::mutex> hold(failureLock_);
    failure_.code = static_cast<uint32_t>(error);
    failure_.text = SystemErrorText(error);
    return false;
  }

  HANDLE h_;
  DCB dcb_{};
  COMMTIMEOUTS saved_{};
  std::mutex blockedLock_;
  std::vector<std::pair<const std::atomic<bool>*, HANDLE>> blocked_;
  mutable std::mutex failureLock_;
  SerialFailure failure_;
};

}  // namespace

std::unique_ptr<SerialDevice> OpenSystemSerialDevice(int index, SerialFailure& failure) {
  const ComOpenResult opened = ComDeviceOpen(index + 1);
  if (opened.handle != ComInvalidHandle)
    return std::make_unique<Win32SerialDevice>(reinterpret_cast<HANDLE>(opened.handle));
  failure.code = static_cast<uint32_t>(opened.error);
  failure.text = SystemErrorText(opened.osError);
  return nullptr;
}

std::string SerialSystemErrorText(uint32_t code) { return SystemErrorText(static_cast<int>(code)); }
