// Socket layer of the link library on Windows Sockets 2: its errors already are the numbers the link reports.
#include "link_net.h"

#include "platform/system_error.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace {

thread_local int lastError = 0;

int WinsockError(int e) { return SystemErrorNumber(ErrorNumbering::Winsock, e); }

int Fail() {
  lastError = WinsockError(WSAGetLastError());
  return -1;
}

sockaddr_in ToSockaddr(LinkNetAddress a) {
  sockaddr_in s;
  std::memset(&s, 0, sizeof s);
  s.sin_family = AF_INET;
  s.sin_port = htons(a.port);
  s.sin_addr.s_addr = a.address;
  return s;
}

LinkNetAddress FromSockaddr(const sockaddr_in& s) { return LinkNetAddress{s.sin_addr.s_addr, ntohs(s.sin_port)}; }

int SetOption(LinkSocket s, int level, int name) {
  BOOL on = TRUE;
  return setsockopt(static_cast<SOCKET>(s), level, name, reinterpret_cast<const char*>(&on), sizeof on) == 0 ? 0
                                                                                                             : Fail();
}

void FillSet(fd_set* fds, const LinkNetSet* set) {
  FD_ZERO(fds);
  for (int i = 0; set && i < set->count; i++) FD_SET(static_cast<SOCKET>(set->socket[i]), fds);
}

int TakeSet(const fd_set* fds, LinkNetSet* set) {
  int ready = 0;
  for (int i = 0; set && i < set->count; i++) {
    set->ready[i] = FD_ISSET(static_cast<SOCKET>(set->socket[i]), fds) != 0;
    ready += set->ready[i] ? 1 : 0;
  }
  return ready;
}

// A socket is inheritable by default: a program started while it is open (a tool from the menu, a child
// of a test) would keep the port bound, and a listener would take connections nobody accepts, long
// after the link closed it. Each socket is kept to this process, as SOCK_CLOEXEC does elsewhere.
SOCKET KeptToThisProcess(SOCKET s) {
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return s;
}

}  // namespace

int LinkNetLastError() { return lastError; }

LinkSocket LinkNetSocket(int type) {
  SOCKET s = socket(AF_INET, type == LinkNetStream ? SOCK_STREAM : SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) {
    Fail();
    return LinkNetInvalid;
  }
  return static_cast<LinkSocket>(KeptToThisProcess(s));
}

void LinkNetClose(LinkSocket s) { closesocket(static_cast<SOCKET>(s)); }

int LinkNetSetNonBlocking(LinkSocket s) {
  u_long on = 1;
  return ioctlsocket(static_cast<SOCKET>(s), FIONBIO, &on) == 0 ? 0 : Fail();
}

// Windows' SO_REUSEADDR would let this socket take a port that another program holds, even a listening
// one. SO_EXCLUSIVEADDRUSE keeps every other socket off the port; in exchange, a listener bound again on
// the same port may be refused while a connection it accepted before is still active.
int LinkNetSetReuseAddress(LinkSocket s) { return SetOption(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE); }
int LinkNetSetNoDelay(LinkSocket s) { return SetOption(s, IPPROTO_TCP, TCP_NODELAY); }
int LinkNetSetBroadcast(LinkSocket s) { return SetOption(s, SOL_SOCKET, SO_BROADCAST); }

int LinkNetBind(LinkSocket s, LinkNetAddress local) {
  sockaddr_in a = ToSockaddr(local);
  return bind(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : Fail();
}

int LinkNetListen(LinkSocket s) { return listen(static_cast<SOCKET>(s), SOMAXCONN) == 0 ? 0 : Fail(); }

int LinkNetConnect(LinkSocket s, LinkNetAddress peer) {
  sockaddr_in a = ToSockaddr(peer);
  return connect(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : Fail();
}

int LinkNetLocalAddress(LinkSocket s, LinkNetAddress* local) {
  sockaddr_in a;
  int size = sizeof a;
  if (getsockname(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&a), &size) != 0) return Fail();
  *local = FromSockaddr(a);
  return 0;
}

int LinkNetSend(LinkSocket s, const void* bytes, int count) {
  int n = send(static_cast<SOCKET>(s), static_cast<const char*>(bytes), count, 0);
  return n == SOCKET_ERROR ? Fail() : n;
}

int LinkNetSendTo(LinkSocket s, const void* bytes, int count, LinkNetAddress peer) {
  sockaddr_in a = ToSockaddr(peer);
  int n = sendto(static_cast<SOCKET>(s), static_cast<const char*>(bytes), count, 0, reinterpret_cast<sockaddr*>(&a),
                 sizeof a);
  return n == SOCKET_ERROR ? Fail() : n;
}

int LinkNetReceive(LinkSocket s, void* buffer, int size) {
  int n = recv(static_cast<SOCKET>(s), static_cast<char*>(buffer), size, 0);
  return n == SOCKET_ERROR ? Fail() : n;
}

int LinkNetReceiveFrom(LinkSocket s, void* buffer, int size) {
  int n = recvfrom(static_cast<SOCKET>(s), static_cast<char*>(buffer), size, 0, nullptr, nullptr);
  return n == SOCKET_ERROR ? Fail() : n;
}

LinkSocket LinkNetAccept(LinkSocket s, LinkNetAddress* peer) {
  sockaddr_in a;
  int size = sizeof a;
  SOCKET c = accept(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&a), &size);
  if (c == INVALID_SOCKET) {
    Fail();
    return LinkNetInvalid;
  }
  KeptToThisProcess(c);
  *peer = FromSockaddr(a);
  return static_cast<LinkSocket>(c);
}

int LinkNetPendingError(LinkSocket s) {
  int error = 0;
  int size = sizeof error;
  if (getsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
    return WinsockError(WSAGetLastError());
  return WinsockError(error);
}

bool LinkNetHasPeer(LinkSocket s) {
  sockaddr_in a;
  int size = sizeof a;
  return getpeername(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&a), &size) == 0;
}

int LinkNetSelect(LinkNetSet* read, LinkNetSet* write, int timeoutMicroseconds) {
  fd_set readFds, writeFds;
  FillSet(&readFds, read);
  FillSet(&writeFds, write);
  timeval wait;
  wait.tv_sec = timeoutMicroseconds / 1000000;
  wait.tv_usec = timeoutMicroseconds % 1000000;
  int rc = select(0, &readFds, write ? &writeFds : nullptr, nullptr, &wait);
  if (rc == SOCKET_ERROR) return Fail();
  return TakeSet(&readFds, read) + TakeSet(&writeFds, write);
}

int LinkNetHostName(char* name, int size) {
  if (gethostname(name, size) != 0) return Fail();
  name[size - 1] = '\0';
  return 0;
}

int LinkNetResolve(const char* name, uint32_t* addresses, int max, int* found) {
  *found = 0;
  addrinfo* results = nullptr;
  int rc = getaddrinfo(name, nullptr, nullptr, &results);
  if (rc != 0) return WinsockError(rc);
  for (addrinfo* r = results; r && *found < max; r = r->ai_next) {
    if (r->ai_family != AF_INET) continue;
    uint32_t a = reinterpret_cast<sockaddr_in*>(r->ai_addr)->sin_addr.s_addr;
    bool seen = false;
    for (int i = 0; i < *found; i++) seen = seen || addresses[i] == a;
    if (!seen) addresses[(*found)++] = a;
  }
  freeaddrinfo(results);
  return 0;
}

int LinkNetParseAddress(const char* text, uint32_t* address) {
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* results = nullptr;
  if (getaddrinfo(text, nullptr, &hints, &results) != 0) return -1;
  *address = reinterpret_cast<sockaddr_in*>(results->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(results);
  return 0;
}

void LinkNetAddressText(uint32_t address, char* text, int size) {
  in_addr a;
  a.s_addr = address;
  if (!inet_ntop(AF_INET, &a, text, static_cast<size_t>(size)) && size > 0) text[0] = '\0';
}
