// The kernel's release numbers stand in for the Windows version; the system names itself.
#include "os_version.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// "6.1.0-18-amd64" -> 6 and 1.
bool ParseRelease(const char* release, unsigned& major, unsigned& minor) {
  char* end = nullptr;
  unsigned long a = std::strtoul(release, &end, 10);
  if (end == release || *end != '.') return false;
  const char* rest = end + 1;
  unsigned long b = std::strtoul(rest, &end, 10);
  if (end == rest) return false;
  major = static_cast<unsigned>(a);
  minor = static_cast<unsigned>(b);
  return true;
}

}  // namespace

bool QueryOsVersion(OsVersion& version) {
  struct utsname names;
  if (uname(&names) != 0) return false;
  version.platformId = 2;
  return ParseRelease(names.release, version.major, version.minor);
}

const char* OwnPlatformName(int) {
  static std::string name;
  if (!name.empty()) return name.c_str();
  struct utsname names;
  unsigned major, minor;
  if (uname(&names) != 0 || !ParseRelease(names.release, major, minor)) return "???";
  name = std::string(names.sysname) + " " + std::to_string(major) + "." + std::to_string(minor);
  return name.c_str();
}

int OsIs64Bit() {
  if (sizeof(void*) == 8) return 1;
  struct utsname names;
  return uname(&names) == 0 && std::strstr(names.machine, "64") != nullptr;
}
