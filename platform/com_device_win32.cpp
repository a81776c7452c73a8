// COM ports on Windows: the system's own \\.\COMn devices.
#include "platform/com_device.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

// The device name CreateFile takes; "\\.\" also reaches COM10 and above.
std::string DeviceName(int port) { return "\\\\.\\COM" + std::to_string(port); }

// A port exists when the system has a DOS device name for it.
bool PortExists(int port) {
  char target[512];
  return QueryDosDeviceA(("COM" + std::to_string(port)).c_str(), target, sizeof target) != 0;
}

}  // namespace

std::vector<std::string> ComDeviceTable() {
  std::vector<std::string> table(ComPortLimit + 1);
  for (int n = 1; n <= ComPortLimit; ++n)
    if (PortExists(n)) table[n] = DeviceName(n);
  return table;
}

std::string ComDevicePath(int port) {
  if (port < 1 || port > ComPortLimit || !PortExists(port)) return "";
  return DeviceName(port);
}

int ComPortOfDevice(const std::string& devicePath) {
  int port = 0;
  int used = 0;
  const char* name = devicePath.c_str();
  if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
  // Only "COM" and the number: "COM3x" or "COM 3" name no port.
  if (_strnicmp(name, "COM", 3) != 0 || !std::isdigit(static_cast<unsigned char>(name[3]))) return 0;
  if (std::sscanf(name + 3, "%d%n", &port, &used) != 1 || name[3 + used] != '\0') return 0;
  return port >= 1 && port <= ComPortLimit ? port : 0;
}

ComOpenResult ComDeviceOpen(int port) {
  if (port < 1 || port > ComPortLimit) return {ComInvalidHandle, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND};
  return ComDeviceOpenPath(DeviceName(port));
}

ComOpenResult ComDeviceOpenPath(const std::string& devicePath) {
  // Overlapped: a pending wait on the port must not hold up the port's other calls (serial_port_win32.cpp).
  HANDLE h = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    int error = static_cast<int>(GetLastError());
    return {ComInvalidHandle, error, error};
  }
  return {reinterpret_cast<ComHandle>(h), 0, 0};
}

void ComDeviceClose(ComHandle handle) {
  if (handle != ComInvalidHandle) CloseHandle(reinterpret_cast<HANDLE>(handle));
}
