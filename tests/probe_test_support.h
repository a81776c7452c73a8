// Scratch folders, environment settings and pseudo-terminal ports for the linkprobe tests.
#pragma once

#include <pty.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "scratch_tree.h"

namespace probetest {

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using ::ScratchTree;

// Sets an environment variable for the lifetime of the object, restoring the old value after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (hadOld_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::string old_;
  bool hadOld_ = false;
};

// A pseudo-terminal standing in for a serial port: `device` is the end a COM link points at.
struct FakePort {
  int master = -1;
  std::string device;
  FakePort() {
    int slave = -1;
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
      device = name;
      close(slave);
    }
  }
  ~FakePort() {
    if (master >= 0) close(master);
  }
  FakePort(const FakePort&) = delete;
  FakePort& operator=(const FakePort&) = delete;
};

}  // namespace probetest
