// A pseudo-terminal standing in for a serial port: `device` is the end a COM link points at.
#pragma once

#include <pty.h>
#include <unistd.h>

#include <string>

namespace probetest {

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
