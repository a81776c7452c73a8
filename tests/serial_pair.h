// Two of the driver's ports joined like a null-modem cable without modem lines, the same on every
// system: two pseudo-terminals relayed into each other. Here the test relays them itself; under Wine
// the session's socat does, and publishes them as COM ports. The driver behaviours every system shares
// are written once against it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
