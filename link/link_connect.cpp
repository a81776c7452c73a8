// Connection requests: LinkConnect reads the flags, chooses the transport of the request's kind once and
// hands the opening to it; LinkDisconnect hands the closing to the transport the object has.
#include "link/link.h"
#include "link_transport.h"

#include <cctype>
#include <cstring>

namespace {

bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; a++, b++)
    if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

// "serial" and "modem" in any case are serial links; a kind that begins with "ethernet" is a socket link.
const LinkTransport* TransportOfKind(const char* kind) {
  if (EqualsIgnoringCase(kind, "serial") || EqualsIgnoringCase(kind, "modem")) return &LinkSerialTransport;
  if (std::strncmp(kind, "ethernet", 8) == 0) return &LinkSocketTransport;
  return nullptr;
}

void SetFlags(LinkConnection* link, const char* address, int flags) {
  link->isServer = flags & LinkFlagServer ? 1 : 0;
  link->localOnly = flags & LinkFlagLocalOnly ? 1 : 0;
  link->noAnnounce = flags & LinkFlagNoAnnounce ? 1 : 0;
  link->datagramOnly = flags & LinkFlagDatagramOnly ? 1 : 0;
  if (EqualsIgnoringCase(address, "127.0.0.1")) link->localOnly = 1;
}

}  // namespace

int LinkConnect(LinkConnection* link, const char* kind, const char* address, int portOrBaud, int flags) {
  const LinkTransport* earlier = LinkTransportOf(link);
  if (earlier == nullptr) return 0;
  if (kind == nullptr) kind = "";
  if (address == nullptr) address = "";
  // A link still holding sockets, a thread or a port from an earlier open is closed before the object
  // opens again, so that no second thread ever runs on one record and nothing is left behind open.
  earlier->closeEarlier(link);
  link->comPort = 0;
  SetFlags(link, address, flags);
  const LinkTransport* transport = TransportOfKind(kind);
  if (transport == nullptr) return LinkErrorUnknownKind;
  LinkSetTransport(link, transport);
  return transport->open(link, address, portOrBaud);
}

int LinkDisconnect(LinkConnection* link) { return LinkTransportRun(link, &LinkTransport::close); }

int LinkConnectByHandle(int handle, const char* kind, const char* address, int portOrBaud, int flags) {
  return LinkConnect(LinkFromHandle(handle), kind, address, portOrBaud, flags);
}

int LinkDisconnectByHandle(int handle) { return LinkDisconnect(LinkFromHandle(handle)); }
