// Serial port driver: a table of 32 ports (index 0 = COM1 ... 31 = COM32) with immediate-return
// reads, modem lines, break, error flags and an optional background writer per port.
// Results are signed integers: negative values are the error codes below.
#pragma once

#include <cstddef>
#include <cstdint>

enum SerialPortResult : int {
  SerialPortBadIndex = -1,
  SerialPortNotOpen = -3,
  SerialPortBusy = -100,  // no byte waiting, or a background write still running
  SerialPortBadArgument = -101,
  SerialPortIoFailed = -103,
  SerialPortQueueFailed = -105,
  SerialPortThreadFailed = -106,
  SerialPortOpenFailed = -200,
  SerialPortTimeoutsUnreadable = -201,
  SerialPortSettingsUnreadable = -202,
  SerialPortSettingsRejected = -203,
  SerialPortResetFailed = -204,
  SerialPortTimeoutsRejected = -205,
};

constexpr int SerialPortCount = 32;

// Called by the event-watch thread in place of a posted window message (first value 1, second 0).
// It runs on that thread: a GUI caller passes a function that only wakes its own event loop.
using SerialPortNotify = void (*)(void* context, unsigned message, uintptr_t first, intptr_t second);

int SerialPortOpen(int index, int receiveQueue, int transmitQueue);
int SerialPortClose(int index);
int SerialPortSetBaud(int index, int baudOrCode);
int SerialPortSetFormat(int index, int parity, int stopBits, int dataBits);
int SerialPortSetHandshake(int index, int letter);
int SerialPortWrite(int index, const void* bytes, int count);
int SerialPortWriteByte(int index, int byte);
int SerialPortRead(int index, void* buffer, int maximum);
int SerialPortReadByte(int index);
int SerialPortDrain(int index);
int SerialPortPushBack(int index, int byte);
int SerialPortDtr(int index, int letter);
int SerialPortRts(int index, int letter);
int SerialPortBreak(int index, int letter);
int SerialPortErrors(int index, int mask);
int SerialPortInQueue(int index);
int SerialPortOutQueue(int index);
int SerialPortCts(int index);
int SerialPortDsr(int index);
int SerialPortRing(int index);
int SerialPortRlsd(int index);
int SerialPortOption(int letter);
int SerialPortLastError(char* text, size_t size);
int SerialPortWatch(int index, SerialPortNotify notify, void* context, unsigned message, unsigned mask);

// The baud rate a baud argument stands for: 0..9 are codes (110 ... 115200), anything else is literal.
int SerialPortBaudOf(int baudOrCode);
