// The test process's surroundings, the platform's way: environment settings (with a scoped setting that
// puts the old value back), the path of its own program file and the processor time it has used.
#pragma once

#include <cstdlib>
#include <string>

void SetEnvironmentValue(const char* name, const std::string& value);
void ClearEnvironmentValue(const char* name);

// The full path of the running test program, as the system reports it.
std::string OwnProgramPath();

// The processor time all threads of the test process have used so far, in seconds.
double ProcessorSeconds();

// Whether the Windows build runs under Wine rather than Windows (never, on this system's own build). Wine
// lets a test tell a program another Windows version or switch a system library off; on Windows such
// settings mean nothing, and some requests (the "runas" verb) wait for the user's consent.
bool RunsUnderWine();

// Sets an environment variable for the lifetime of the object, restoring the old value after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    SetEnvironmentValue(name, value);
  }
  ~ScopedEnv() {
    if (hadOld_) {
      SetEnvironmentValue(name_, old_);
    } else {
      ClearEnvironmentValue(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::string old_;
  bool hadOld_ = false;
};
