// The computer's name and first IPv4 address as one line ("I am host (a.b.c.d)"), shown in each main window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int HostAddressLineSize = 100;
constexpr int HostAddressSize = 41;  // the extracted address: 40 characters and the terminator

// Rebuilds the host address line, "I am %s (%d.%d.%d.%d)" or "Network setup error", and returns it. The
// text is process-wide and kept until the next call.
const char* GetHostAddressLine();

// The line as the last GetHostAddressLine built it; empty before the first.
const char* LastHostAddressLine();

// The part of the last line between "(" and ")", empty when there is none. Process-wide text.
const char* ExtractHostAddress();

// One IPv4 address of a network interface, as the system lists it.
struct InterfaceAddress {
  std::string name;
  unsigned index = 0;  // the system's interface index; the listing order
  bool up = false;
  bool loopback = false;
  std::uint8_t ipv4[4] = {0, 0, 0, 0};
};

// Where GetHostAddressLine takes its facts from. Tests put in their own; the system's is the default.
struct HostNetworkSource {
  bool (*hostName)(char* buffer, std::size_t size);
  bool (*interfaceAddresses)(std::vector<InterfaceAddress>& out);  // false when the list cannot be read
  bool (*resolve)(const char* hostName, std::uint8_t ipv4[4]);     // the resolver's first IPv4 address
};

// Replaces the source; nullptr restores the system's own.
void SetHostNetworkSource(const HostNetworkSource* source);

// The first IPv4 address of the first interface that is up and not loopback, in interface order.
bool PickInterfaceAddress(const std::vector<InterfaceAddress>& addresses, std::uint8_t ipv4[4]);
