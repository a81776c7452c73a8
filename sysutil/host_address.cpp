// The host address line: the host name with the first IPv4 address of an active interface, or of the resolver.
#include "sysutil/host_address.h"

#include <cstdio>
#include <cstring>

#include "host_network.h"

namespace {

char hostAddressLine[HostAddressLineSize];
char extractedAddress[HostAddressSize];
const HostNetworkSource* networkSource = nullptr;

const HostNetworkSource& Source() { return networkSource ? *networkSource : SystemHostNetwork(); }

bool FirstAddress(const char* hostName, std::uint8_t ipv4[4]) {
  std::vector<InterfaceAddress> addresses;
  if (Source().interfaceAddresses(addresses) && PickInterfaceAddress(addresses, ipv4)) return true;
  return Source().resolve(hostName, ipv4);
}

}  // namespace

void SetHostNetworkSource(const HostNetworkSource* source) { networkSource = source; }

bool PickInterfaceAddress(const std::vector<InterfaceAddress>& addresses, std::uint8_t ipv4[4]) {
  const InterfaceAddress* best = nullptr;
  for (const auto& address : addresses) {
    if (!address.up || address.loopback) continue;
    if (!best || address.index < best->index) best = &address;
  }
  if (!best) return false;
  std::memcpy(ipv4, best->ipv4, 4);
  return true;
}

const char* GetHostAddressLine() {
  char name[300];
  std::uint8_t ipv4[4];
  if (!Source().hostName(name, sizeof name) || !FirstAddress(name, ipv4)) {
    std::snprintf(hostAddressLine, sizeof hostAddressLine, "Network setup error");
    return hostAddressLine;
  }
  char address[16];
  std::snprintf(address, sizeof address, "%d.%d.%d.%d", ipv4[0], ipv4[1], ipv4[2], ipv4[3]);
  const std::string line = std::string("I am ") + name + " (" + address + ")";
  std::snprintf(hostAddressLine, sizeof hostAddressLine, "%s", line.c_str());
  return hostAddressLine;
}

const char* LastHostAddressLine() { return hostAddressLine; }

const char* ExtractHostAddress() {
  extractedAddress[0] = '\0';
  const char* open = std::strchr(hostAddressLine, '(');
  if (!open) return extractedAddress;
  std::snprintf(extractedAddress, sizeof extractedAddress, "%s", open + 1);
  if (char* close = std::strchr(extractedAddress, ')')) *close = '\0';
  return extractedAddress;
}
