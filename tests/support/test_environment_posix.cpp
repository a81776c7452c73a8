// The test process's surroundings on Linux: setenv/unsetenv, /proc/self/exe and the process's CPU clock.
#include "test_environment.h"

#include <stdlib.h>
#include <time.h>

#include <filesystem>

void SetEnvironmentValue(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

void ClearEnvironmentValue(const char* name) { unsetenv(name); }

std::string OwnProgramPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

double ProcessorSeconds() {
  timespec used{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
  return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

bool RunsUnderWine() { return false; }
