// A simulated null-modem cable for tests: two port indexes joined so that data flows both ways,
// DTR drives the other end's DSR and carrier detect, RTS its CTS, and a break reaches the other end.
#pragma once

#include <cstdint>

#include "serial/serial_device.h"

namespace null_modem {

// Joins the driver's ports a and b (indexes) with a fresh cable; other indexes cannot be opened.
void Install(int a, int b);
// Returns the driver to the system's devices.
void Uninstall();
// Line errors (SerialError* flags) that the port's next status query reports.
void InjectErrors(int index, uint32_t flags);
// What the port's end of the cable currently has.
uint32_t Baud(int index);
bool HardwareFlow(int index);
bool Dtr(int index);
bool Rts(int index);
bool Open(int index);

}  // namespace null_modem
