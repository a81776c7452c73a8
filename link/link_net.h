// Socket layer of the link library: the few socket calls the socket links make, with every error
// reported in Winsock's numbering so that record files and results read the same on every platform.
#pragma once

#include <cstdint>

// A socket as the link record stores it; 0 means "none" in the record, LinkNetInvalid a failed creation.
using LinkSocket = uint32_t;
constexpr LinkSocket LinkNetInvalid = 0xFFFFFFFFu;

// Socket types, numbered as the socket interface numbers them.
constexpr int LinkNetStream = 1;
constexpr int LinkNetDatagram = 2;

// Winsock error numbers the link logic tests for.
constexpr int LinkErrWouldBlock = 10035;
constexpr int LinkErrInvalid = 10022;
constexpr int LinkErrAlready = 10037;  // a connect is still in progress
constexpr int LinkErrNotSocket = 10038;
constexpr int LinkErrNetDown = 10050;
constexpr int LinkErrConnAborted = 10053;  // the system dropped an attempt (Wine: connect again after a refusal)
constexpr int LinkErrIsConnected = 10056;
constexpr int LinkErrNotConnected = 10057;
constexpr int LinkErrHostNotFound = 11001;

// An IPv4 endpoint: address in network byte order, port in host byte order.
struct LinkNetAddress {
  uint32_t address;
  uint16_t port;
};

// Up to four sockets for one select call; `ready` marks those the call reported.
struct LinkNetSet {
  int count;
  LinkSocket socket[4];
  bool ready[4];
};

inline void LinkNetSetClear(LinkNetSet* set) { set->count = 0; }
inline void LinkNetSetAdd(LinkNetSet* set, LinkSocket s) {
  if (set->count < 4) {
    set->socket[set->count] = s;
    set->ready[set->count] = false;
    set->count++;
  }
}
inline bool LinkNetSetHas(const LinkNetSet* set, LinkSocket s) {
  for (int i = 0; i < set->count; i++)
    if (set->socket[i] == s) return true;
  return false;
}
inline bool LinkNetSetReady(const LinkNetSet* set, LinkSocket s) {
  for (int i = 0; i < set->count; i++)
    if (set->socket[i] == s && set->ready[i]) return true;
  return false;
}

// Winsock error of the last failed call of this module on the calling thread.
int LinkNetLastError();

// Returns a new IPv4 socket of the type, or LinkNetInvalid.
LinkSocket LinkNetSocket(int type);
void LinkNetClose(LinkSocket s);

// Socket options and modes: 0 done, else -1 (error in LinkNetLastError).
int LinkNetSetNonBlocking(LinkSocket s);
// The system's address-reuse option. Linux (SO_REUSEADDR): a TCP port can be bound again while an earlier
// connection on it winds down, but a UDP port is shared with any other socket that set the option too.
// Windows (SO_EXCLUSIVEADDRUSE): no other socket can take the port, but binding a listener's port again
// may be refused while a connection accepted on it is still active.
int LinkNetSetReuseAddress(LinkSocket s);
int LinkNetSetNoDelay(LinkSocket s);
int LinkNetSetBroadcast(LinkSocket s);

// Plain socket calls: 0 (or a count) on success, -1 on error.
int LinkNetBind(LinkSocket s, LinkNetAddress local);
int LinkNetListen(LinkSocket s);
int LinkNetConnect(LinkSocket s, LinkNetAddress peer);
int LinkNetLocalAddress(LinkSocket s, LinkNetAddress* local);
int LinkNetSend(LinkSocket s, const void* bytes, int count);
int LinkNetSendTo(LinkSocket s, const void* bytes, int count, LinkNetAddress peer);
int LinkNetReceive(LinkSocket s, void* buffer, int size);
int LinkNetReceiveFrom(LinkSocket s, void* buffer, int size);

// Accepts a pending connection; the new socket has the listening socket's blocking mode. LinkNetInvalid on error.
LinkSocket LinkNetAccept(LinkSocket s, LinkNetAddress* peer);

// The error left on a socket by a connect that failed in the background (0 none); reading clears it.
int LinkNetPendingError(LinkSocket s);

// True when a stream socket has a peer (its connect has completed).
bool LinkNetHasPeer(LinkSocket s);

// Waits up to the time-out for readability (read set) or writability (write set, may be null).
// Returns the number of ready sockets, 0 at the time-out, -1 on error.
int LinkNetSelect(LinkNetSet* read, LinkNetSet* write, int timeoutMicroseconds);

// This computer's host name (0, or -1 on error).
int LinkNetHostName(char* name, int size);

// Resolves a host name or dotted address to its IPv4 addresses (at most `max`); returns 0 and the count in
// *found, or the resolver's error code in Winsock numbering.
int LinkNetResolve(const char* name, uint32_t* addresses, int max, int* found);

// The address that a text such as "192.168.0.10" writes in numbers, found without asking any name
// server: 0, or -1 when the text is not an IPv4 address.
int LinkNetParseAddress(const char* text, uint32_t* address);

// Dotted text of an address in network order, into a buffer of at least 16 characters.
void LinkNetAddressText(uint32_t address, char* text, int size);
