// A pseudo-terminal standing in for a serial port (`device` is the end a COM link points at), and a
// port held by another program.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
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

// The device opened and locked, as a program using the port holds it, while the object lives;
// `locked` tells whether that worked.
struct HeldPort {
  int fd;
  bool locked;
  explicit HeldPort(const std::string& device)
      : fd(open(device.c_str(), O_RDWR | O_NOCTTY)), locked(fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) {}
  ~HeldPort() {
    if (fd >= 0) close(fd);
  }
  HeldPort(const HeldPort&) = delete;
  HeldPort& operator=(const HeldPort&) = delete;
};

}  // namespace probetest
