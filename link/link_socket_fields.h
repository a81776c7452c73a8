// The socket fields of a socket link that the caller's thread and the link thread both use: the lock that
// guards them, closing one, and the record's peer addresses in the socket layer's form.
#pragma once

#include "link/link.h"
#include "link_net.h"

#include <cstdint>
#include <mutex>

// Held while a caller's thread sends on a link's socket and while any thread closes or replaces one of
// those sockets, so that a send never reaches a closed socket or a number the system has given to another
// file; also guards udpPeer, which a server thread rewrites on every accept. Innermost lock: nothing else is
// taken while it is held.
std::mutex& LinkSocketLock();

// Clears a socket field, then closes its socket, so that a sender never uses a closed number.
void LinkCloseSocketField(std::uint32_t& field);

// Conversions between the record's socket addresses and the socket layer's.
LinkNetAddress LinkAddressOf(const LinkIpv4Address& a);
LinkIpv4Address LinkIpv4Of(LinkNetAddress a);
// udpPeer read whole under the socket lock.
LinkNetAddress LinkUdpPeer(LinkConnection* link);
