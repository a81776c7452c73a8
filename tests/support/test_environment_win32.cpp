// The test process's surroundings on Windows: the C runtime's _putenv_s (an empty value removes the
// name), GetModuleFileNameA and GetProcessTimes.
#include "test_environment.h"

#include <stdlib.h>
#include <windows.h>

void SetEnvironmentValue(const char* name, const std::string& value) { _putenv_s(name, value.c_str()); }

void ClearEnvironmentValue(const char* name) { _putenv_s(name, ""); }

std::string OwnProgramPath() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, length);
}

double ProcessorSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto hundredNs = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(hundredNs(kernel) + hundredNs(user)) / 1e7;
}

// Wine's ntdll exports its version; Windows' has no such function.
bool RunsUnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }
