// The test process's surroundings on Windows: the C runtime's _putenv_s (an empty value removes the
// name) and GetModuleFileNameA.
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
