// Socket links: opening (ports, sockets, the link thread), the client and server threads, sending, restart
// and closing. The object layer calls LinkOpenSocket through LinkConnect and LinkCloseSocket through
// LinkDisconnect; the queue code calls LinkSendSocket.
#ifndef TAVIK_LINK_LINK_SOCKET_H
#define TAVIK_LINK_LINK_SOCKET_H

#include "link/link.h"
#include "link_net.h"

#include <mutex>

// Held while a caller's thread sends on a link's socket and while any thread closes or replaces one of
// those sockets, so that a send never reaches a closed socket or a number the system has given to another
// file; also guards udpPeer, which a server thread rewrites on every accept. Innermost lock: nothing else is
// taken while it is held.
std::mutex& LinkSocketLock();

// Opens a socket link on a registered object: 0, the resolver's error code, or 2 to 5 and 9 as LinkConnect
// documents; 8 when the link thread could not be started. U = 0 means U = T, T = 0 means 5510.
int LinkOpenSocket(LinkConnection* link, const char* address, int tPort, int uPort);
// A new IPv4 socket of the type (LinkNetStream or LinkNetDatagram), or LinkNetInvalid when creation failed
// or took longer than 5000 ms.
LinkSocket LinkTrySocket(int type);
// Stops the link thread (at most ~600 ms plus one bounded wait), closes the sockets and the record files;
// 0, or 1 for an unregistered object.
int LinkCloseSocket(LinkConnection* link);
// Sends one message by its class: TCP, datagram or broadcast; 0 or the Winsock error of the send.
int LinkSendSocket(LinkConnection* link, const void* message, int length);
// Reopens the link (mode 0: close first; other modes as (mode % 10) + 1 steps) and lets an unconnected
// client poke its server.
int LinkRestart(LinkConnection* link, int mode);

// The link threads' entry points.
void LinkClientThread(LinkConnection* link);
void LinkServerThread(LinkConnection* link);

// Record event (code) with masks of the selected sockets: 1 connSocket, 16 tcpSocket, 256 udpSocket.
void LinkRecordSelect(LinkConnection* link, int code, const LinkNetSet* read, const LinkNetSet* write,
                      bool writeUsed);
// Debug line naming the selected sockets ("Conn in ", "TCP out ", ...).
void LinkTraceSelect(LinkConnection* link, int result, bool writeUsed, const LinkNetSet* read,
                     const LinkNetSet* write, const char* label);

// Conversions between the record's socket addresses and the socket layer's.
LinkNetAddress LinkAddressOf(const LinkIpv4Address& a);
LinkIpv4Address LinkIpv4Of(LinkNetAddress a);
// udpPeer read whole under the socket lock.
LinkNetAddress LinkUdpPeer(LinkConnection* link);

#endif
