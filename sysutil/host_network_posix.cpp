// Host name from gethostname, addresses from getifaddrs, the resolver through getaddrinfo.
#include "host_network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

bool HostName(char* buffer, std::size_t size) {
  if (size == 0 || gethostname(buffer, size) != 0) return false;
  buffer[size - 1] = '\0';
  return true;
}

void CopyIpv4(const sockaddr* address, std::uint8_t ipv4[4]) {
  const auto* in = reinterpret_cast<const sockaddr_in*>(address);
  std::memcpy(ipv4, &in->sin_addr.s_addr, 4);
}

bool InterfaceAddresses(std::vector<InterfaceAddress>& out) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
    InterfaceAddress address;
    address.name = entry->ifa_name;
    // A labelled secondary address ("eth0:1") belongs to its interface's place in the order.
    address.index = if_nametoindex(address.name.substr(0, address.name.find(':')).c_str());
    address.up = (entry->ifa_flags & IFF_UP) != 0;
    address.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
    CopyIpv4(entry->ifa_addr, address.ipv4);
    out.push_back(address);
  }
  freeifaddrs(list);
  return true;
}

bool Resolve(const char* hostName, std::uint8_t ipv4[4]) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (getaddrinfo(hostName, nullptr, &hints, &result) != 0 || !result) return false;
  CopyIpv4(result->ai_addr, ipv4);
  freeaddrinfo(result);
  return true;
}

}  // namespace

const HostNetworkSource& SystemHostNetwork() {
  static const HostNetworkSource source{HostName, InterfaceAddresses, Resolve};
  return source;
}
