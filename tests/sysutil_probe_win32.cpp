// A helper program for the system utility tests: writes into the file named by its first argument
// either the system's raw version answer and what the version facts make of it, or (with "wmi" and a
// class name) the result code of opening a management query, so that a test can start it under
// another reported Windows version or with a system library switched off.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "sysutil/version_info.h"
#include "sysutil/wmi_query.h"

namespace {

bool WritePlatform(std::FILE* out) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return false;
  const int code = GetPlatformCode();
  std::fprintf(out, "%lu %lu.%lu|%d %s|%d\n", info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, code,
               GetPlatformName(), Is64BitOs());
  return true;
}

bool WriteQueryOpen(std::FILE* out, const char* className) {
  const int opened = WmiOpenQuery(className);
  char text[40] = "";
  const int read = WmiReadProperty("Name", 0, text, sizeof text);
  WmiClose();
  std::fprintf(out, "open %d read %d\n", opened, read);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) return 4;
  const bool ok = argc >= 4 && std::strcmp(argv[2], "wmi") == 0 ? WriteQueryOpen(out, argv[3]) : WritePlatform(out);
  std::fclose(out);
  return ok ? 0 : 3;
}
