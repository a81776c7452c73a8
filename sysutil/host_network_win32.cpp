// Windows resolves its own host name to its adapters' addresses, so the resolver alone answers here.
#include "host_network.h"

#include "platform/socket_library.h"

// gethostbyname is the lookup this program has always made of its own name.
#define _WINSOCK_DEPRECATED_NO_WARNINGS
#include <winsock2.h>

#include <cstring>

namespace {

// Sockets are started around each call; starts are counted, so a program that keeps them open is unaffected.
struct SocketsStarted {
  SocketsStarted() : ok(StartSocketLibrary() == 0) {}
  ~SocketsStarted() {
    if (ok) StopSocketLibrary();
  }
  bool ok;
};

bool HostName(char* buffer, std::size_t size) {
  SocketsStarted sockets;
  if (!sockets.ok || size == 0 || gethostname(buffer, static_cast<int>(size)) != 0) return false;
  buffer[size - 1] = '\0';
  return true;
}

bool NoInterfaceList(std::vector<InterfaceAddress>&) { return false; }

bool Resolve(const char* hostName, std::uint8_t ipv4[4]) {
  SocketsStarted sockets;
  if (!sockets.ok) return false;
  hostent* host = gethostbyname(hostName);
  if (!host || host->h_addrtype != AF_INET || !host->h_addr_list || !host->h_addr_list[0]) return false;
  std::memcpy(ipv4, host->h_addr_list[0], 4);
  return true;
}

}  // namespace

const HostNetworkSource& SystemHostNetwork() {
  static const HostNetworkSource source{HostName, NoInterfaceList, Resolve};
  return source;
}
