// Pseudo-terminal pairs and the temporary COM root of the serial tests.
#include "serial_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no pty name");
  slave_ = name;
}

PtyPair::~PtyPair() { close(master_); }

void PtyPair::send(const std::vector<uint8_t>& bytes) const {
  size_t done = 0;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (done < bytes.size() && std::chrono::steady_clock::now() < limit) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{master_, POLLOUT, 0};
      poll(&p, 1, 10);
    }
  }
}

std::vector<uint8_t> PtyPair::receive(size_t count, int timeoutMs) const {
  std::vector<uint8_t> got;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  uint8_t buffer[4096];
  while (got.size() < count && std::chrono::steady_clock::now() < limit) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 10) <= 0) continue;
    const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
    if (n > 0) got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}
