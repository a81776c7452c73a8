// COM ports on this machine: $TAVIK_ROOT/dosdevices/comN links first, then the machine's real UARTs,
// USB serial adapters and USB modems numbered in order into the free numbers.
#include "platform/com_device.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "platform/system_error.h"
#include "platform/tavik_path.h"

namespace {

std::string SysfsRoot() {
  const char* root = std::getenv("TAVIK_SYSFS");
  return root && *root ? root : "/sys";
}

std::string LinkTarget(const std::string& link) {
  char target[PATH_MAX];
  ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return "";
  target[n] = '\0';
  if (target[0] == '/') return target;
  return link.substr(0, link.rfind('/') + 1) + target;
}

// The number after a device name's prefix ("ttyUSB12" -> 12), or -1 when the rest is not a number.
long DeviceIndex(const std::string& name, const std::string& prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size()) return -1;
  char* end = nullptr;
  long index = std::strtol(name.c_str() + prefix.size(), &end, 10);
  return *end == '\0' ? index : -1;
}

// A ttyS entry is a real UART when the serial core reports a known port type for it.
bool IsRealUart(const std::string& ttyDir) {
  std::ifstream type(ttyDir + "/type");
  int value = 0;
  return type >> value && value != 0;
}

std::vector<std::string> DevicesWithPrefix(const std::vector<std::string>& names, const std::string& prefix,
                                           const std::string& ttyDir) {
  std::vector<std::pair<long, std::string>> found;
  for (const auto& name : names) {
    long index = DeviceIndex(name, prefix);
    if (index < 0) continue;
    if (prefix == "ttyS" && !IsRealUart(ttyDir + "/" + name)) continue;
    found.emplace_back(index, "/dev/" + name);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> devices;
  for (auto& entry : found) devices.push_back(entry.second);
  return devices;
}

std::vector<std::string> AutomaticDevices() {
  const std::string ttyDir = SysfsRoot() + "/class/tty";
  std::vector<std::string> names;
  if (DIR* d = opendir(ttyDir.c_str())) {
    while (dirent* e = readdir(d)) names.emplace_back(e->d_name);
    closedir(d);
  }
  std::vector<std::string> devices;
  for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
    auto some = DevicesWithPrefix(names, prefix, ttyDir);
    devices.insert(devices.end(), some.begin(), some.end());
  }
  return devices;
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? resolved : path;
}

ComOpenResult Failed(int osError, int fd = -1) {
  if (fd >= 0) close(fd);
  return {ComInvalidHandle, SystemErrorNumber(ErrorNumbering::Win32, osError), osError};
}

}  // namespace

std::vector<std::string> ComDeviceTable() {
  std::vector<std::string> table(ComPortLimit + 1);
  const std::string links = TavikRoot() + "/dosdevices/com";
  for (int n = 1; n <= ComPortLimit; ++n) table[n] = LinkTarget(links + std::to_string(n));
  int next = 1;
  for (const auto& device : AutomaticDevices()) {
    while (next <= ComPortLimit && !table[next].empty()) ++next;
    if (next > ComPortLimit) break;
    table[next] = device;
  }
  return table;
}

std::string ComDevicePath(int port) {
  if (port < 1 || port > ComPortLimit) return "";
  return ComDeviceTable()[port];
}

int ComPortOfDevice(const std::string& devicePath) {
  const auto table = ComDeviceTable();
  const std::string canonical = Canonical(devicePath);
  for (int n = 1; n <= ComPortLimit; ++n) {
    if (table[n].empty()) continue;
    if (table[n] == devicePath || Canonical(table[n]) == canonical) return n;
  }
  return 0;
}

ComOpenResult ComDeviceOpen(int port) {
  const std::string path = ComDevicePath(port);
  return path.empty() ? Failed(ENOENT) : ComDeviceOpenPath(path);
}

ComOpenResult ComDeviceOpenPath(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Failed(errno);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return Failed(errno, fd);
  if (ioctl(fd, TIOCEXCL) != 0) return Failed(errno, fd);
  return {fd, 0, 0};
}

void ComDeviceClose(ComHandle handle) {
  if (handle == ComInvalidHandle) return;
  int fd = static_cast<int>(handle);
  ioctl(fd, TIOCNXCL);
  close(fd);
}
