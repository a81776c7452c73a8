// The socket lock, the closing of a socket field and the conversions of the record's socket addresses.
#include "link_socket_fields.h"

#include "link_shared.h"

#include <cstring>

std::mutex& LinkSocketLock() {
  static std::mutex lock;
  return lock;
}

void LinkCloseSocketField(std::uint32_t& field) {
  std::lock_guard<std::mutex> hold(LinkSocketLock());
  LinkSocket s = LinkLoad(field);
  LinkStore(field, 0);
  if (s != 0 && s != LinkNetInvalid) LinkNetClose(s);
}

LinkNetAddress LinkAddressOf(const LinkIpv4Address& a) {
  LinkNetAddress n;
  std::memcpy(&n.address, a.address, 4);
  n.port = static_cast<std::uint16_t>(reinterpret_cast<const std::uint8_t*>(&a.port)[0] << 8 |
                                      reinterpret_cast<const std::uint8_t*>(&a.port)[1]);
  return n;
}

LinkIpv4Address LinkIpv4Of(LinkNetAddress n) {
  LinkIpv4Address a;
  std::memset(&a, 0, sizeof a);
  a.family = 2;  // AF_INET on every platform the link runs on
  auto* port = reinterpret_cast<std::uint8_t*>(&a.port);
  port[0] = static_cast<std::uint8_t>(n.port >> 8);
  port[1] = static_cast<std::uint8_t>(n.port);
  std::memcpy(a.address, &n.address, 4);
  return a;
}

LinkNetAddress LinkUdpPeer(LinkConnection* link) {
  std::lock_guard<std::mutex> hold(LinkSocketLock());
  return LinkAddressOf(link->udpPeer);
}
