// Two of the driver's ports joined like a null-modem cable without modem lines, the same on every
// system: two pseudo-terminals relayed into each other. Here the test relays them itself; under Wine
// the session's socat does, and publishes them as COM ports. The driver behaviours every system shares
// are written once against it.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "eventually.h"
#include "serial/serial_port.h"

// What a port's device keeps of the line settings once the driver has closed it, read the system's way.
struct DeviceLine {
  uint32_t baud = 0;
  bool twoStopBits = false;
  bool hardwareFlow = false;  // CTS holds the output back
  bool softwareFlow = false;  // XON/XOFF both ways
};

class SerialPair {
 public:
  SerialPair();
  ~SerialPair();
  SerialPair(const SerialPair&) = delete;
  SerialPair& operator=(const SerialPair&) = delete;

  // Why this system offers no pair; empty when a() and b() are ready to open.
  const std::string& Missing() const;
  // The driver's indexes (COM number - 1) of the two ends.
  int a() const;
  int b() const;
  // A driver index with no device behind it.
  int IndexWithoutDevice() const;
  // Reads the settings the device of index a() or b() holds; false when the system will not show them.
  bool ReadDeviceLine(int index, DeviceLine& line) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Bytes that differ from one seed to the next, so that a lost, doubled or reordered byte shows.
inline std::vector<uint8_t> Pattern(size_t count, uint32_t seed = 1) {
  std::vector<uint8_t> bytes(count);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return bytes;
}

// Reads from the driver's port until count bytes arrived or the time passed.
inline std::vector<uint8_t> ReadPort(int index, size_t count, int milliseconds = 2000) {
  std::vector<uint8_t> got;
  uint8_t buffer[4096];
  const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (got.size() < count && std::chrono::steady_clock::now() < limit) {
    const size_t wanted = std::min(sizeof buffer, count - got.size());
    const int n = SerialPortRead(index, buffer, static_cast<int>(wanted));
    if (n < 0) break;
    if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

// Counts the notifications of a port's event watch and keeps the last one's values.
struct WatchProbe {
  std::atomic<int> calls{0};
  std::atomic<unsigned> message{0};
  std::atomic<uintptr_t> first{0};
  std::atomic<intptr_t> second{-1};
  static void Notify(void* context, unsigned message, uintptr_t first, intptr_t second) {
    auto* self = static_cast<WatchProbe*>(context);
    self->message = message;
    self->first = first;
    self->second = second;
    ++self->calls;
  }
  // Whether count notifications came within the time.
  bool waitFor(int count, int timeoutMs = 1000) const {
    return Eventually([&] { return calls >= count; }, timeoutMs / 1000.0);
  }
};
