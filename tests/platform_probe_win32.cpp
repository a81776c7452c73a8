// A helper program for the platform tests: writes the system's raw version answer and what the
// version facts make of it into the file named by its argument, so that a test can start it under
// another reported Windows version.
#include <windows.h>

#include <cstdio>

#include "sysutil/version_info.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return 3;
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) return 4;
  const int code = GetPlatformCode();
  std::fprintf(out, "%lu %lu.%lu|%d %s|%d\n", info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, code,
               GetPlatformName(), Is64BitOs());
  std::fclose(out);
  return 0;
}
