// Serial devices on Windows: the communications functions of the file interface on "\\.\COMn", opened
// for overlapped I/O. Every call that can wait on the port (read, write, the event wait) is started
// overlapped and waited for in bounded slices: a pending event wait then holds up no other call on the
// port, every thread notices its stop within a slice, and nothing calls into the port under a lock.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "serial/serial_device.h"
#include "platform/com_device.h"
#include "platform/system_error.h"

namespace {

// Bytes per write request, so that a cancelled background write stops between pieces.
constexpr DWORD WritePiece = 256;
// A write that moves no byte for this long (flow control holding it, a peer that reads nothing) gives
// up, as on every platform, instead of holding its caller for ever. A slow line (110 baud moves 256
// bytes in 23 s) or a flow-control pause keeps the write going as long as bytes move.
constexpr DWORD WriteStallLimitMs = 3000;
// Each write request ends after this long with what it moved, so that a stall is measured to within it.
constexpr DWORD WriteRequestMs = 250;
// How long a write request may overrun its time-out before it is cancelled (a device that ignores it).
constexpr DWORD WriteRequestLimitMs = 2 * WriteRequestMs;
// A read returns at once by its time-outs; this only bounds a device that ignores them.
constexpr DWORD ReadLimitMs = 500;
// How often a waiting thread looks at its stop flag.
constexpr DWORD WaitSliceMs = 50;
// How long a cancelled request may take to come back; one that never does keeps its memory for ever.
constexpr DWORD CancelLimitMs = 1000;
// The event wait lasts until its event or its stop.
constexpr DWORD UntilStopped = INFINITE;

// One overlapped request with its own event and with the memory the system reads or writes for it (the
// bytes moved, the event mask). The system uses all of it until the request completes, so a request that
// was cancelled and still did not complete is abandoned whole, never freed, and the caller's memory is
// never handed to the system.
class Request {
 public:
  explicit Request(DWORD dataSize = 0) : data_(dataSize) {
    overlapped_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  ~Request() {
    if (overlapped_.hEvent) CloseHandle(overlapped_.hEvent);
  }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;
  OVERLAPPED* get() { return &overlapped_; }
  bool ready() const { return overlapped_.hEvent != nullptr; }
  uint8_t* data() { return data_.data(); }
  DWORD* eventMask() { return &eventMask_; }

 private:
  OVERLAPPED overlapped_{};
  std::vector<uint8_t> data_;
  DWORD eventMask_ = 0;
};

enum class Outcome { Done, Failed, Stopped };

class Win32SerialDevice final : public SerialDevice {
 public:
  explicit Win32SerialDevice(HANDLE handle) : h_(handle) { dcb_.DCBlength = sizeof dcb_; }
  ~Win32SerialDevice() override { ComDeviceClose(reinterpret_cast<ComHandle>(h_)); }

  bool SaveTimeouts() override { return GetCommTimeouts(h_, &saved_) ? true : fail(); }
  bool RestoreTimeouts() override { return SetCommTimeouts(h_, &saved_) ? true : fail(); }

  bool SetImmediateReads() override {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;              // with both read totals 0: return at once with what has arrived
    t.WriteTotalTimeoutConstant = WriteRequestMs;  // per request: the write loop watches for progress
    return SetCommTimeouts(h_, &t) ? true : fail();
  }

  bool ReadSettings(SerialLineSettings& s) override {
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
  bool ApplySettings(const SerialLineSettings& s) override {
    dcb_.BaudRate = s.baud;
    dcb_.ByteSize = s.byteSize;
    dcb_.Parity = s.parity;
    dcb_.StopBits = s.stopBits;
    dcb_.fBinary = s.binary;
    dcb_.fOutxCtsFlow = s.outCtsFlow;
    dcb_.fOutxDsrFlow = s.outDsrFlow;
    dcb_.fDtrControl = s.dtrControl == SerialControlEnable      ? DTR_CONTROL_ENABLE
                       : s.dtrControl == SerialControlHandshake ? DTR_CONTROL_HANDSHAKE
                                                                : DTR_CONTROL_DISABLE;
    dcb_.fRtsControl = s.rtsControl == SerialControlEnable      ? RTS_CONTROL_ENABLE
                       : s.rtsControl == SerialControlHandshake ? RTS_CONTROL_HANDSHAKE
                                                                : RTS_CONTROL_DISABLE;
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

  bool SetQueueSizes(uint32_t receive, uint32_t transmit) override {
    return SetupComm(h_, receive, transmit) ? true : fail();
  }

  bool ResetDevice() override { return EscapeCommFunction(h_, RESETDEV) ? true : fail(); }

  bool SetLine(SerialLine line, bool on) override {
    const DWORD function = line == SerialLine::Dtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
    return EscapeCommFunction(h_, function) ? true : fail();
  }

  bool SetBreak(bool on) override { return (on ? SetCommBreak(h_) : ClearCommBreak(h_)) ? true : fail(); }

  bool ModemStatus(uint32_t& bits) override {
    DWORD status = 0;
    bits = 0;
    if (!GetCommModemStatus(h_, &status)) return fail();
    bits = status & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);  // the driver's numbers are these
    return true;
  }

  bool LineStatus(SerialLineStatus& status) override {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(h_, &errors, &stat)) return fail();
    errors |= errorsSeenByReads_.exchange(0);
    status.errors = errors & (CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK);
    status.inQueue = stat.cbInQue;
    status.outQueue = stat.cbOutQue;
    return true;
  }

  // Takes only what has arrived: the time-outs already make a read return at once, but a device that
  // does not honour them for an overlapped read would otherwise hold it until the read limit.
  int Read(uint8_t* buffer, int max) override {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(h_, &errors, &stat)) return fail(), -1;
    errorsSeenByReads_ |= errors;  // kept for the next line status, which reports them
    const DWORD wanted = std::min(static_cast<DWORD>(max), stat.cbInQue);
    if (wanted == 0) return 0;
    auto request = std::make_unique<Request>(wanted);
    DWORD got = 0;
    const BOOL started = request->ready() && ReadFile(h_, request->data(), wanted, nullptr, request->get());
    const Outcome outcome = finish(request, started, ReadLimitMs, nullptr, got);
    if (outcome == Outcome::Failed) return fail(), -1;
    if (request) std::copy(request->data(), request->data() + got, buffer);  // an abandoned one got nothing
    return static_cast<int>(got);
  }

  int Write(const uint8_t* bytes, int count, const std::atomic<bool>& cancel) override {
    int done = 0;
    ULONGLONG lastMoved = GetTickCount64();
    while (done < count && !cancel) {
      const DWORD piece = std::min<DWORD>(WritePiece, static_cast<DWORD>(count - done));
      auto request = std::make_unique<Request>(piece);
      std::copy(bytes + done, bytes + done + piece, request->data());
      const BOOL started = request->ready() && WriteFile(h_, request->data(), piece, nullptr, request->get());
      DWORD wrote = 0;
      const Outcome outcome = finish(request, started, WriteRequestLimitMs, &cancel, wrote);
      done += static_cast<int>(wrote);
      if (outcome == Outcome::Failed) return fail(), done > 0 ? done : -1;
      // A request that did not even come back when cancelled may still send its piece: none follows it.
      if (request && wrote > 0) {
        lastMoved = GetTickCount64();
      } else if (!request || GetTickCount64() - lastMoved >= WriteStallLimitMs) {
        SetLastError(ERROR_TIMEOUT);
        fail();
        break;
      }
    }
    return done;
  }

  void WaitEvent(uint32_t mask, const std::atomic<bool>& cancel) override {
    if (!SetCommMask(h_, mask) || cancel) return;
    auto request = std::make_unique<Request>();
    DWORD ignored = 0;
    const BOOL started = request->ready() && WaitCommEvent(h_, request->eventMask(), request->get());
    finish(request, started, UntilStopped, &cancel, ignored);
  }

  SerialFailure LastFailure() const override {
    std::lock_guard<std::mutex> hold(failureLock_);
    return failure_;
  }

 private:
  // Waits for a request that `started` began: until it completes, `limitMs` passes (never for
  // UntilStopped) or `cancel` is set (checked every slice). A request still pending then is cancelled and
  // waited for once more; its byte count is in `transferred` either way. One that does not come back even
  // then is released from `request` (left null) and reported stopped with nothing moved. A failed wait
  // is the request's failure: retrying it would only spin.
  Outcome finish(std::unique_ptr<Request>& request, BOOL started, DWORD limitMs, const std::atomic<bool>* cancel,
                 DWORD& transferred) {
    transferred = 0;
    if (!started && (!request->ready() || GetLastError() != ERROR_IO_PENDING)) return Outcome::Failed;
    HANDLE event = request->get()->hEvent;
    bool completed = false;
    for (DWORD waited = 0; !completed && !(cancel && *cancel) && (limitMs == UntilStopped || waited < limitMs);
         waited += WaitSliceMs) {
      const DWORD slice = limitMs == UntilStopped ? WaitSliceMs : std::min(WaitSliceMs, limitMs - waited);
      const DWORD waitResult = WaitForSingleObject(event, slice);
      if (waitResult == WAIT_FAILED) {
        const DWORD error = GetLastError();
        CancelIoEx(h_, request->get());
        SetLastError(error);  // the failure reported is the wait's
        return abandon(request, Outcome::Failed);
      }
      completed = waitResult == WAIT_OBJECT_0;
    }
    if (!completed) {
      CancelIoEx(h_, request->get());
      if (WaitForSingleObject(event, CancelLimitMs) != WAIT_OBJECT_0) return abandon(request, Outcome::Stopped);
    }
    // A request ended by its time-out has moved what it could: Windows reports it as a success, Wine as
    // the time-out error, both with the count.
    const bool ok = GetOverlappedResult(h_, request->get(), &transferred, FALSE) || GetLastError() == ERROR_TIMEOUT;
    if (ok) return completed ? Outcome::Done : Outcome::Stopped;
    return GetLastError() == ERROR_OPERATION_ABORTED ? Outcome::Stopped : Outcome::Failed;
  }

  // Leaves a request that may still be pending to the system, with all the memory it uses.
  static Outcome abandon(std::unique_ptr<Request>& request, Outcome outcome) {
    request.release();
    return outcome;
  }

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
  std::atomic<DWORD> errorsSeenByReads_{0};
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
