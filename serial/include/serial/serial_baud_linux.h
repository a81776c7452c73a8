// Any baud rate on a terminal device, through the kernel's termios2 interface (its header cannot
// share a source file with the C library's termios header, hence this separate unit).
#pragma once

#include <cstdint>

// Both return false with errno set when the device refuses.
bool SerialSetBaudRate(int fd, uint32_t baud);
bool SerialGetBaudRate(int fd, uint32_t& baud);
