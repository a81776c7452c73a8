// The adapter list and IPv4 address table of a Linux system: interfaces from /sys/class/net, addresses
// from getifaddrs.
#include "adapter_source.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstring>

#include "netsetup/network_interfaces_linux.h"

namespace {

bool ReadInterfaceAddresses(std::vector<NamedAddress>& out) {
  struct ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  for (struct ifaddrs* item = list; item; item = item->ifa_next) {
    if (!item->ifa_addr || item->ifa_addr->sa_family != AF_INET) continue;
    NamedAddress named;
    named.device = item->ifa_name;
    const auto* in = reinterpret_cast<const sockaddr_in*>(item->ifa_addr);
    std::memcpy(named.address, &in->sin_addr, 4);
    out.push_back(named);
  }
  freeifaddrs(list);
  return true;
}

}  // namespace

bool ReadAdapterRecords(std::vector<AdapterRecord>& out) {
  std::vector<LinuxInterface> interfaces;
  if (!ReadLinuxInterfaces(NetClassDirectory(), interfaces)) return false;
  out.clear();
  for (const LinuxInterface& i : interfaces) out.push_back({i.friendlyName, i.index});
  return true;
}

bool ReadAddressRecords(std::vector<AddressRecord>& out) {
  std::vector<LinuxInterface> interfaces;
  std::vector<NamedAddress> addresses;
  if (!ReadLinuxInterfaces(NetClassDirectory(), interfaces) || !ReadInterfaceAddresses(addresses)) {
    return false;
  }
  out = AddressRecordsFor(interfaces, addresses);
  return true;
}
