// Linux network interfaces as the adapter listing and the address helper see them: the friendly name
// (the interface alias, else "Ethernet DEV" or "Wi-Fi DEV", else the kernel name), index and link state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "netsetup/network_adapters.h"

struct LinuxInterface {
  std::string device;  // the kernel's name, e.g. "eth0"
  std::string friendlyName;
  std::uint32_t index = 0;
  bool connected = false;  // operstate up, or unknown with carrier
  bool loopback = false;
};

// The folder of network interfaces: $TAVIK_SYSFS/class/net, else /sys/class/net.
std::string NetClassDirectory();

// The interfaces listed under `netClassDirectory`, in index order; false when it cannot be read.
bool ReadLinuxInterfaces(const std::string& netClassDirectory, std::vector<LinuxInterface>& out);

// One IPv4 address of an interface named by its kernel name.
struct NamedAddress {
  std::string device;
  std::uint8_t address[4] = {0, 0, 0, 0};
};

// The address rows of `addresses` for the interfaces they belong to; an address on a disconnected
// interface is marked disconnected, one on an unknown interface is dropped.
std::vector<AddressRecord> AddressRecordsFor(const std::vector<LinuxInterface>& interfaces,
                                             const std::vector<NamedAddress>& addresses);
