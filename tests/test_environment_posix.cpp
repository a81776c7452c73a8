// The test process's surroundings on Linux: setenv/unsetenv and /proc/self/exe.
#include "test_environment.h"

#include <stdlib.h>

#include <filesystem>

void SetEnvironmentValue(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

void ClearEnvironmentValue(const char* name) { unsetenv(name); }

std::string OwnProgramPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }
