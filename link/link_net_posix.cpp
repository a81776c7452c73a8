// Socket layer of the link library on BSD sockets: errno values are turned into Winsock's numbers, the
// select is a poll (no descriptor limit), and sends never raise SIGPIPE.
#include "link_net.h"

#include "platform/system_error.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

thread_local int lastError = 0;

int WinsockError(int e) { return SystemErrorNumber(ErrorNumbering::Winsock, e); }

int Fail() {
  lastError = WinsockError(errno);
  return -1;
}

int ResolverError(int code) {
  switch (code) {
    case EAI_NONAME:
      return LinkErrHostNotFound;
    case EAI_AGAIN:
      return 11002;
    case EAI_FAIL:
      return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return 11004;
#endif
    case EAI_MEMORY:
      return 8;
    case EAI_SERVICE:
      return 10109;
    case EAI_FAMILY:
      return 10047;
    case EAI_SOCKTYPE:
      return 10044;
    case EAI_BADFLAGS:
      return 10022;
    case EAI_SYSTEM:
      return WinsockError(errno);
    default:
      return 11003;
  }
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

// Descriptor 0 reads as "no socket" in the link record, so a socket never keeps that number.
int AwayFromZero(int fd) {
  if (fd != 0) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
  int error = errno;
  close(fd);
  errno = error;  // a failed move reports its own error, not the close's
  return moved;
}

int SetOption(LinkSocket s, int level, int name) {
  int on = 1;
  return setsockopt(static_cast<int>(s), level, name, &on, sizeof on) == 0 ? 0 : Fail();
}

int AddToPoll(pollfd* fds, int used, const LinkNetSet* set, short events) {
  for (int i = 0; set && i < set->count; i++) {
    fds[used].fd = static_cast<int>(set->socket[i]);
    fds[used].events = events;
    fds[used].revents = 0;
    used++;
  }
  return used;
}

int TakeFromPoll(const pollfd* fds, int first, LinkNetSet* set, short events) {
  int ready = 0;
  for (int i = 0; set && i < set->count; i++) {
    set->ready[i] = (fds[first + i].revents & events) != 0;
    ready += set->ready[i] ? 1 : 0;
  }
  return ready;
}

}  // namespace

int LinkNetLastError() { return lastError; }

LinkSocket LinkNetSocket(int type) {
  int fd = socket(AF_INET, (type == LinkNetStream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    Fail();
    return LinkNetInvalid;
  }
  fd = AwayFromZero(fd);
  if (fd < 0) {
    Fail();
    return LinkNetInvalid;
  }
  return static_cast<LinkSocket>(fd);
}

void LinkNetClose(LinkSocket s) { close(static_cast<int>(s)); }

int LinkNetSetNonBlocking(LinkSocket s) {
  int fd = static_cast<int>(s);
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return Fail();
  return 0;
}

int LinkNetSetReuseAddress(LinkSocket s) { return SetOption(s, SOL_SOCKET, SO_REUSEADDR); }
int LinkNetSetNoDelay(LinkSocket s) { return SetOption(s, IPPROTO_TCP, TCP_NODELAY); }
int LinkNetSetBroadcast(LinkSocket s) { return SetOption(s, SOL_SOCKET, SO_BROADCAST); }

int LinkNetBind(LinkSocket s, LinkNetAddress local) {
  sockaddr_in a = ToSockaddr(local);
  return bind(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : Fail();
}

int LinkNetListen(LinkSocket s) { return listen(static_cast<int>(s), SOMAXCONN) == 0 ? 0 : Fail(); }

int LinkNetConnect(LinkSocket s, LinkNetAddress peer) {
  sockaddr_in a = ToSockaddr(peer);
  return connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : Fail();
}

int LinkNetLocalAddress(LinkSocket s, LinkNetAddress* local) {
  sockaddr_in a;
  socklen_t size = sizeof a;
  if (getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), &size) != 0) return Fail();
  *local = FromSockaddr(a);
  return 0;
}

int LinkNetSend(LinkSocket s, const void* bytes, int count) {
  ssize_t n = send(static_cast<int>(s), bytes, static_cast<size_t>(count), MSG_NOSIGNAL);
  return n < 0 ? Fail() : static_cast<int>(n);
}

int LinkNetSendTo(LinkSocket s, const void* bytes, int count, LinkNetAddress peer) {
  sockaddr_in a = ToSockaddr(peer);
  ssize_t n = sendto(static_cast<int>(s), bytes, static_cast<size_t>(count), MSG_NOSIGNAL,
                     reinterpret_cast<sockaddr*>(&a), sizeof a);
  return n < 0 ? Fail() : static_cast<int>(n);
}

int LinkNetReceive(LinkSocket s, void* buffer, int size) {
  ssize_t n = recv(static_cast<int>(s), buffer, static_cast<size_t>(size), 0);
  return n < 0 ? Fail() : static_cast<int>(n);
}

int LinkNetReceiveFrom(LinkSocket s, void* buffer, int size) {
  ssize_t n = recvfrom(static_cast<int>(s), buffer, static_cast<size_t>(size), 0, nullptr, nullptr);
  return n < 0 ? Fail() : static_cast<int>(n);
}

LinkSocket LinkNetAccept(LinkSocket s, LinkNetAddress* peer) {
  int listener = static_cast<int>(s);
  int inherited = fcntl(listener, F_GETFL) & O_NONBLOCK;
  sockaddr_in a;
  socklen_t size = sizeof a;
  int fd = accept4(listener, reinterpret_cast<sockaddr*>(&a), &size, SOCK_CLOEXEC | (inherited ? SOCK_NONBLOCK : 0));
  if (fd >= 0) fd = AwayFromZero(fd);
  if (fd < 0) {
    Fail();
    return LinkNetInvalid;
  }
  *peer = FromSockaddr(a);
  return static_cast<LinkSocket>(fd);
}

int LinkNetPendingError(LinkSocket s) {
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(static_cast<int>(s), SOL_SOCKET, SO_ERROR, &error, &size) != 0) return WinsockError(errno);
  return error == 0 ? 0 : WinsockError(error);
}

bool LinkNetHasPeer(LinkSocket s) {
  sockaddr_in a;
  socklen_t size = sizeof a;
  return getpeername(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), &size) == 0;
}

int LinkNetSelect(LinkNetSet* read, LinkNetSet* write, int timeoutMicroseconds) {
  pollfd fds[8];
  int readCount = AddToPoll(fds, 0, read, POLLIN);
  int total = AddToPoll(fds, readCount, write, POLLOUT);
  int rc = poll(fds, static_cast<nfds_t>(total), timeoutMicroseconds / 1000);
  if (rc < 0) return Fail();
  // A socket that is no longer open fails the whole call, as it fails select.
  for (int i = 0; i < total; i++)
    if (fds[i].revents & POLLNVAL) {
      errno = ENOTSOCK;  // Winsock reports a closed socket as no socket at all
      return Fail();
    }
  // Readiness includes the error and hang-up states, as select reports them.
  const short in = POLLIN | POLLERR | POLLHUP;
  const short out = POLLOUT | POLLERR | POLLHUP;
  return TakeFromPoll(fds, 0, read, in) + TakeFromPoll(fds, readCount, write, out);
}

int LinkNetHostName(char* name, int size) {
  if (gethostname(name, static_cast<size_t>(size)) != 0) return Fail();
  name[size - 1] = '\0';
  return 0;
}

int LinkNetResolve(const char* name, uint32_t* addresses, int max, int* found) {
  *found = 0;
  addrinfo* results = nullptr;
  int rc = getaddrinfo(name, nullptr, nullptr, &results);
  if (rc != 0) return ResolverError(rc);
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
  if (!inet_ntop(AF_INET, &a, text, static_cast<socklen_t>(size)) && size > 0) text[0] = '\0';
}
