// Serial port driver: the port table, module defaults, result codes and the write and watch threads.
// The devices themselves sit behind SerialDevice (serial_device.h), one implementation per platform.
#include "serial/serial_port.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "serial/serial_device.h"

namespace {

struct SerialPortState {
  std::unique_ptr<SerialDevice> device;
  std::thread watchThread;
  std::atomic<bool> watchCancel{false};
  std::thread writeThread;
  std::atomic<bool> writeCancel{false};
  unsigned lineFlags = 0;  // bit 0 DTR raised, bit 1 RTS raised
  uint8_t pendingByte = 0;
  SerialLineSettings settings;
  SerialPortNotify watchNotify = nullptr;
  void* watchContext = nullptr;
  unsigned watchMessage = 0;
  unsigned watchMask = 0;
  int index = 0;
  // The driver keeps its own copy of a background write, so the caller's buffer is free at once.
  std::vector<uint8_t> writeBuffer;
  std::atomic<int> bytesWritten{0};
  std::atomic<int> writeStatus{0};
  uint8_t dataMask = 255;
};

struct SerialDefaults {
  int baud = 19200;
  int dataBits = 8;
  int parity = 0;
  int stopBits = 0;
  bool raiseDtr = false;
  bool raiseRts = false;
  bool resetAtOpen = false;
  bool backgroundWrites = false;
};

// The driver's module-wide state; the table is built on first use.
struct SerialModule {
  SerialPortState ports[SerialPortCount];
  SerialDefaults defaults;
  SerialLineStatus status;
  SerialDeviceOpener opener = nullptr;
  std::mutex failureLock;  // the write thread may record a failure while the caller reads it
  SerialFailure lastFailure;

  SerialModule() {
    for (int i = 0; i < SerialPortCount; ++i) ports[i].index = i;
  }
  // A program may end with ports open: their threads must be stopped before the table goes away.
  ~SerialModule();
};

SerialModule& Module() {
  static SerialModule module;
  return module;
}

void KeepFailure(const SerialFailure& failure) {
  SerialModule& m = Module();
  std::lock_guard<std::mutex> hold(m.failureLock);
  m.lastFailure = failure;
}

// The entry of an open port, or null with result set to -1 or -3.
SerialPortState* OpenEntry(int index, int& result) {
  if (index < 0 || index >= SerialPortCount) {
    result = SerialPortBadIndex;
    return nullptr;
  }
  SerialPortState& port = Module().ports[index];
  if (!port.device) {
    result = SerialPortNotOpen;
    return nullptr;
  }
  return &port;
}

void StopThread(SerialPortState& port, std::thread& thread, std::atomic<bool>& cancel) {
  if (!thread.joinable()) return;
  cancel = true;
  port.device->Interrupt();
  thread.join();
  cancel = false;
  std::this_thread::yield();
}

uint8_t MaskFor(int dataBits) {
  return dataBits >= 1 && dataBits < 8 ? static_cast<uint8_t>((1 << dataBits) - 1) : 255;
}

void ReraiseLines(SerialPortState& port) {
  if (port.lineFlags & 1) port.device->SetLine(SerialLine::Dtr, true);
  if (port.lineFlags & 2) port.device->SetLine(SerialLine::Rts, true);
}

bool RefreshStatus(SerialPortState& port) {
  SerialLineStatus& status = Module().status;
  if (port.device->LineStatus(status)) return true;
  status = SerialLineStatus{};
  return false;
}

void PrepareSettings(SerialLineSettings& s, const SerialDefaults& d, int receiveQueue) {
  s.baud = static_cast<uint32_t>(d.baud);
  s.byteSize = static_cast<uint8_t>(d.dataBits);
  s.parity = static_cast<uint8_t>(d.parity);
  s.stopBits = static_cast<uint8_t>(d.stopBits);
  s.binary = true;
  s.outCtsFlow = false;
  s.outDsrFlow = false;
  s.nullDiscard = false;
  s.dtrControl = d.raiseDtr ? SerialControlEnable : SerialControlDisable;
  s.rtsControl = d.raiseRts ? SerialControlEnable : SerialControlDisable;
  s.dsrSensitivity = false;
  s.txContinueOnXoff = true;
  s.outX = false;
  s.inX = false;
  s.abortOnError = false;
  s.xonChar = 0x11;
  s.xoffChar = 0x13;
  const uint16_t limit = receiveQueue >= 0 && receiveQueue <= 512 ? static_cast<uint16_t>(receiveQueue / 4) : 128;
  s.xonLimit = limit;
  s.xoffLimit = limit;
}

// Steps after the device is open; the port stays open when one of them fails.
int ConfigureOpenedPort(SerialPortState& port, int receiveQueue, int transmitQueue) {
  SerialModule& m = Module();
  SerialDevice& dev = *port.device;
  if (!dev.SaveTimeouts()) return KeepFailure(dev.LastFailure()), SerialPortTimeoutsUnreadable;
  if (!dev.ReadSettings(port.settings)) return KeepFailure(dev.LastFailure()), SerialPortSettingsUnreadable;
  PrepareSettings(port.settings, m.defaults, receiveQueue);
  if (!dev.ApplySettings(port.settings)) return KeepFailure(dev.LastFailure()), SerialPortSettingsRejected;
  if (!dev.SetQueueSizes(static_cast<uint32_t>(std::max(receiveQueue, 0)),
                         static_cast<uint32_t>(std::max(transmitQueue, 0))))
    return SerialPortQueueFailed;
  if (m.defaults.resetAtOpen && !dev.ResetDevice()) return KeepFailure(dev.LastFailure()), SerialPortResetFailed;
  SerialLineStatus ignored;
  dev.LineStatus(ignored);
  if (!dev.SetImmediateReads()) return KeepFailure(dev.LastFailure()), SerialPortTimeoutsRejected;
  port.writeStatus = 0;
  port.dataMask = MaskFor(m.defaults.dataBits);
  return 0;
}

void RunBackgroundWrite(SerialPortState* port) {
  const int count = static_cast<int>(port->writeBuffer.size());
  const int written = port->device->Write(port->writeBuffer.data(), count, port->writeCancel);
  port->bytesWritten = std::max(written, 0);
  // A write stopped by the port's close has no failure of its own to keep.
  if (written < count && !port->writeCancel) KeepFailure(port->device->LastFailure());
  port->writeStatus = written < count ? SerialPortIoFailed : 0;
}

void RunWatch(SerialPortState* port) {
  port->device->WaitEvent(port->watchMask, port->watchCancel);
  if (!port->watchCancel) port->watchNotify(port->watchContext, port->watchMessage, 1, 0);
}

int StartBackgroundWrite(SerialPortState& port, const void* bytes, int count) {
  if (port.writeThread.joinable()) port.writeThread.join();  // finished: its status is no longer -100
  const auto* first = static_cast<const uint8_t*>(bytes);
  port.writeBuffer.assign(first, first + count);
  port.bytesWritten = 0;
  port.writeStatus = SerialPortBusy;
  try {
    port.writeThread = std::thread(RunBackgroundWrite, &port);
  } catch (const std::system_error&) {
    port.writeStatus = 0;
    return SerialPortThreadFailed;
  }
  std::this_thread::yield();
  return 0;
}

int SetLineControl(int index, int letter, SerialLine line, unsigned flagBit) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  uint8_t& control = line == SerialLine::Dtr ? port->settings.dtrControl : port->settings.rtsControl;
  switch (letter) {
    case 'S':
      port->lineFlags |= flagBit;
      control = SerialControlEnable;
      return port->device->SetLine(line, true) ? 1 : 0;
    case 'C':
      port->lineFlags &= ~flagBit;
      control = SerialControlDisable;
      return port->device->SetLine(line, false) ? 1 : 0;
    case 'R':
      return static_cast<int>(port->lineFlags & flagBit);
    default:
      return SerialPortBadArgument;
  }
}

int ModemBit(int index, uint32_t bit) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  uint32_t bits = 0;
  if (!port->device->ModemStatus(bits)) return 0;
  return static_cast<int>(bits & bit);
}

SerialModule::~SerialModule() {
  for (SerialPortState& port : ports) {
    if (port.device) {
      StopThread(port, port.watchThread, port.watchCancel);
      StopThread(port, port.writeThread, port.writeCancel);
    }
  }
}

}  // namespace

void SerialPortUseDevices(SerialDeviceOpener opener) { Module().opener = opener; }

int SerialPortBaudOf(int baudOrCode) {
  static const int codes[10] = {110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
  return baudOrCode >= 0 && baudOrCode <= 9 ? codes[baudOrCode] : baudOrCode;
}

int SerialPortOpen(int index, int receiveQueue, int transmitQueue) {
  SerialModule& m = Module();
  if (index == -1) {
    m.defaults.raiseDtr = (receiveQueue & 1) != 0;
    m.defaults.raiseRts = (transmitQueue & 1) != 0;
    return 0;
  }
  if (index < 0 || index >= SerialPortCount) return SerialPortBadIndex;
  SerialPortState& port = m.ports[index];
  SerialFailure failure;
  if (port.device) {
    // Already open here: the device is held exclusively, as by any other program.
    failure.code = 5;
    failure.text = SerialSystemErrorText(5);
    KeepFailure(failure);
    return SerialPortOpenFailed;
  }
  port.device = m.opener ? m.opener(index, failure) : OpenSystemSerialDevice(index, failure);
  if (!port.device) {
    KeepFailure(failure);
    return SerialPortOpenFailed;
  }
  return ConfigureOpenedPort(port, receiveQueue, transmitQueue);
}

int SerialPortClose(int index) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  StopThread(*port, port->watchThread, port->watchCancel);
  StopThread(*port, port->writeThread, port->writeCancel);
  port->device->RestoreTimeouts();
  port->device.reset();
  return 1;
}

int SerialPortSetBaud(int index, int baudOrCode) {
  if (index == -1) {
    Module().defaults.baud = SerialPortBaudOf(baudOrCode);
    return 0;
  }
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  port->settings.baud = static_cast<uint32_t>(SerialPortBaudOf(baudOrCode));
  return port->device->ApplySettings(port->settings) ? 1 : 0;
}

int SerialPortSetFormat(int index, int parity, int stopBits, int dataBits) {
  if (index == -1) {
    SerialDefaults& d = Module().defaults;
    d.parity = parity;
    d.stopBits = stopBits;
    d.dataBits = dataBits;
    return 0;
  }
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  port->settings.parity = static_cast<uint8_t>(parity);
  port->settings.stopBits = static_cast<uint8_t>(stopBits);
  port->settings.byteSize = static_cast<uint8_t>(dataBits);
  port->dataMask = MaskFor(dataBits);
  port->device->ApplySettings(port->settings);
  ReraiseLines(*port);
  return 0;
}

int SerialPortSetHandshake(int index, int letter) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  SerialLineSettings& s = port->settings;
  if (letter == 'H' || letter == 'N' || letter == 'S') {
    s.outCtsFlow = letter == 'H';
    s.rtsControl = letter == 'H' ? SerialControlHandshake : SerialControlDisable;
    s.outX = s.inX = letter == 'S';
  }
  port->device->ApplySettings(s);
  ReraiseLines(*port);
  return 0;
}

int SerialPortWrite(int index, const void* bytes, int count) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  if (!bytes || count <= 0) return SerialPortBadArgument;
  if (port->writeStatus == SerialPortBusy) return SerialPortBusy;
  if (Module().defaults.backgroundWrites) return StartBackgroundWrite(*port, bytes, count);
  static const std::atomic<bool> never{false};
  // All bytes or a failure: a write that stopped short has cut the peer's message.
  const int written = port->device->Write(static_cast<const uint8_t*>(bytes), count, never);
  if (written < count) {
    KeepFailure(port->device->LastFailure());
    return SerialPortIoFailed;
  }
  return written;
}

int SerialPortWriteByte(int index, int byte) {
  const uint8_t b = static_cast<uint8_t>(byte);
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  static const std::atomic<bool> never{false};
  if (port->device->Write(&b, 1, never) == 1) return 0;
  KeepFailure(port->device->LastFailure());
  return SerialPortIoFailed;
}

int SerialPortRead(int index, void* buffer, int maximum) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  if (!buffer || maximum <= 0) return SerialPortBadArgument;
  auto* bytes = static_cast<uint8_t*>(buffer);
  if (port->pendingByte) {
    bytes[0] = port->pendingByte & port->dataMask;
    port->pendingByte = 0;
    return 1;
  }
  const int got = port->device->Read(bytes, maximum);
  if (got < 0) {
    KeepFailure(port->device->LastFailure());
    return SerialPortIoFailed;
  }
  if (port->dataMask != 255)
    for (int i = 0; i < got; ++i) bytes[i] &= port->dataMask;
  return got;
}

int SerialPortReadByte(int index) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  if (port->pendingByte) {
    const int b = port->pendingByte & port->dataMask;
    port->pendingByte = 0;
    return b;
  }
  RefreshStatus(*port);
  uint8_t b = 0;
  const int got = port->device->Read(&b, 1);
  if (got < 0) {
    KeepFailure(port->device->LastFailure());
    return SerialPortIoFailed;
  }
  return got == 0 ? SerialPortBusy : (b & port->dataMask);
}

int SerialPortDrain(int index) {
  int result = 0;
  if (!OpenEntry(index, result)) return result;
  while (SerialPortReadByte(index) >= 0) {
  }
  return 0;
}

int SerialPortPushBack(int index, int byte) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  port->pendingByte = static_cast<uint8_t>(byte);
  return 0;
}

int SerialPortDtr(int index, int letter) { return SetLineControl(index, letter, SerialLine::Dtr, 1); }

int SerialPortRts(int index, int letter) { return SetLineControl(index, letter, SerialLine::Rts, 2); }

int SerialPortBreak(int index, int letter) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  switch (letter) {
    case 'A':
      return port->device->SetBreak(true) ? 1 : 0;
    case 'C':
      return port->device->SetBreak(false) ? 1 : 0;
    case 'D':
      RefreshStatus(*port);
      return static_cast<int>(Module().status.errors & SerialErrorBreak);
    default:
      return SerialPortBadArgument;
  }
}

int SerialPortErrors(int index, int mask) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  RefreshStatus(*port);
  return static_cast<int>(Module().status.errors & static_cast<uint32_t>(mask));
}

int SerialPortInQueue(int index) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  RefreshStatus(*port);
  return static_cast<int>(Module().status.inQueue);
}

int SerialPortOutQueue(int index) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  RefreshStatus(*port);
  return static_cast<int>(Module().status.outQueue);
}

int SerialPortCts(int index) { return ModemBit(index, SerialModemCts); }
int SerialPortDsr(int index) { return ModemBit(index, SerialModemDsr); }
int SerialPortRing(int index) { return ModemBit(index, SerialModemRing); }
int SerialPortRlsd(int index) { return ModemBit(index, SerialModemRlsd); }

int SerialPortOption(int letter) {
  SerialDefaults& d = Module().defaults;
  if (letter == 'R') {
    d.resetAtOpen = true;
    return 'R';
  }
  if (letter == 'W') {
    d.backgroundWrites = !d.backgroundWrites;
    return 'W';
  }
  return SerialPortBadIndex;
}

int SerialPortLastError(char* text, size_t size) {
  SerialModule& m = Module();
  std::lock_guard<std::mutex> hold(m.failureLock);
  if (text && size > 0) {
    const std::string message =
        m.lastFailure.text.empty() ? SerialSystemErrorText(m.lastFailure.code) : m.lastFailure.text;
    const size_t n = std::min(message.size(), size - 1);
    std::memcpy(text, message.data(), n);
    text[n] = '\0';
  }
  return static_cast<int>(m.lastFailure.code);
}

int SerialPortWatch(int index, SerialPortNotify notify, void* context, unsigned message, unsigned mask) {
  int result = 0;
  SerialPortState* port = OpenEntry(index, result);
  if (!port) return result;
  StopThread(*port, port->watchThread, port->watchCancel);
  if (!notify) return 1;
  port->watchNotify = notify;
  port->watchContext = context;
  port->watchMessage = message;
  port->watchMask = mask;
  try {
    port->watchThread = std::thread(RunWatch, port);
  } catch (const std::system_error&) {
    return SerialPortThreadFailed;
  }
  return 0;
}
