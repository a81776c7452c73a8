// The device seam of the serial port driver: what the driver asks of one open serial device.
// The platform files provide the real devices; tests may install other devices (a simulated cable).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// The line settings the driver stores per port, in the terms of the platform's device-control block.
struct SerialLineSettings {
  uint32_t baud = 19200;
  uint8_t byteSize = 8;
  uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
  bool binary = true;
  bool outCtsFlow = false;
  bool outDsrFlow = false;
  uint8_t dtrControl = 0;  // SerialControl values
  uint8_t rtsControl = 0;  // SerialControl values
  bool dsrSensitivity = false;
  bool txContinueOnXoff = true;
  bool outX = false;
  bool inX = false;
  bool nullDiscard = false;
  bool abortOnError = false;
  uint8_t xonChar = 0x11;
  uint8_t xoffChar = 0x13;
  uint16_t xonLimit = 0;
  uint16_t xoffLimit = 0;
};

enum SerialControl : uint8_t { SerialControlDisable = 0, SerialControlEnable = 1, SerialControlHandshake = 2 };

// Modem-status bits and error flags, numbered as the driver reports them.
enum : uint32_t {
  SerialModemCts = 16,
  SerialModemDsr = 32,
  SerialModemRing = 64,
  SerialModemRlsd = 128,
  SerialErrorOverflow = 1,
  SerialErrorOverrun = 2,
  SerialErrorParity = 4,
  SerialErrorFraming = 8,
  SerialErrorBreak = 16,
};

// Event-watch mask bits (the platform's communication event numbers).
enum : uint32_t {
  SerialEventRxChar = 0x0001,
  SerialEventTxEmpty = 0x0004,
  SerialEventCts = 0x0008,
  SerialEventDsr = 0x0010,
  SerialEventRlsd = 0x0020,
  SerialEventBreak = 0x0040,
  SerialEventError = 0x0080,
  SerialEventRing = 0x0100,
};

struct SerialLineStatus {
  uint32_t errors = 0;
  uint32_t inQueue = 0;
  uint32_t outQueue = 0;
};

// A platform failure: the code in the platform's error numbering and the system's text for it.
struct SerialFailure {
  uint32_t code = 0;
  std::string text;
};

enum class SerialLine { Dtr, Rts };

// One open device. Every operation returns false on failure and then describes it in LastFailure().
class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  virtual bool SaveTimeouts() = 0;
  virtual bool RestoreTimeouts() = 0;
  virtual bool SetImmediateReads() = 0;
  virtual bool ReadSettings(SerialLineSettings& settings) = 0;
  virtual bool ApplySettings(const SerialLineSettings& settings) = 0;
  virtual bool SetQueueSizes(uint32_t receive, uint32_t transmit) = 0;
  virtual bool ResetDevice() = 0;
  virtual bool SetLine(SerialLine line, bool on) = 0;
  virtual bool SetBreak(bool on) = 0;
  virtual bool ModemStatus(uint32_t& bits) = 0;
  // Error flags since the previous call (which clears them) and the queue counts.
  virtual bool LineStatus(SerialLineStatus& status) = 0;
  // Bytes waiting now, at most max; 0 when none. -1 on failure.
  virtual int Read(uint8_t* buffer, int max) = 0;
  // Writes all bytes unless cancel is set, the write fails or the line moves no byte for the stall limit
  // (3 s). Returns the count written; one that stops short for a failure or a stall (a time-out, 1460)
  // describes it in LastFailure(). -1 on a failure before any byte moved.
  virtual int Write(const uint8_t* bytes, int count, const std::atomic<bool>& cancel) = 0;
  // Returns when one of the mask's events happens, or soon after cancel is set.
  virtual void WaitEvent(uint32_t mask, const std::atomic<bool>& cancel) = 0;
  // Called after cancel was set, for devices whose waits and writes block until interrupted.
  virtual void Interrupt() {}
  virtual SerialFailure LastFailure() const = 0;
};

// Opens the device of port index 0..31 (COM1..COM32) for exclusive use; null with the failure filled in.
using SerialDeviceOpener = std::unique_ptr<SerialDevice> (*)(int index, SerialFailure& failure);

// The platform's own devices.
std::unique_ptr<SerialDevice> OpenSystemSerialDevice(int index, SerialFailure& failure);
// The system's text for a platform error code (used when no device described the failure).
std::string SerialSystemErrorText(uint32_t code);

// Makes every later open use opener; null returns to the platform's devices.
void SerialPortUseDevices(SerialDeviceOpener opener);
