// COM port names (COM1 to COM32) and the devices behind them, and the exclusive open that makes a
// port held by another program read as busy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int ComPortLimit = 32;

// The device of each port: element n (1 to ComPortLimit) is COMn's device file, empty when COMn does
// not exist; element 0 is unused.
std::vector<std::string> ComDeviceTable();

// COMn's device file, empty when n is out of range or the port does not exist.
std::string ComDevicePath(int port);

// The COM number of a device file (compared as given and after following links); 0 when none.
int ComPortOfDevice(const std::string& devicePath);

using ComHandle = std::intptr_t;
constexpr ComHandle ComInvalidHandle = -1;

struct ComOpenResult {
  ComHandle handle;  // ComInvalidHandle on failure
  int error;         // Win32 number: 0, 2 no such port, 5 held by another program or not permitted
  int osError;       // the platform's own error, so a caller can tell "busy" from "no permission"
};

// Opens COMn for reading and writing, non-blocking, shared with no other program.
ComOpenResult ComDeviceOpen(int port);

// The same open of a port's device as ComDeviceTable names it, for callers that walk the whole table.
ComOpenResult ComDeviceOpenPath(const std::string& devicePath);

void ComDeviceClose(ComHandle handle);
