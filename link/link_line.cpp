// The line operations of the public interface and their handle forms, and the serial forms (the command
// form, the reopened port, the kept errors): each runs the operation of the link's transport, so a serial
// link drives its port and a socket link answers from its state.
#include "link/link.h"
#include "link_transport.h"

int LinkPeerPresent(LinkConnection* link) { return LinkTransportRun(link, &LinkTransport::peerPresent); }
int LinkCarrierDetect(LinkConnection* link) { return LinkTransportRun(link, &LinkTransport::carrierDetect); }
int LinkClearToSend(LinkConnection* link) { return LinkTransportRun(link, &LinkTransport::clearToSend); }
int LinkRingIndicator(LinkConnection* link) { return LinkTransportRun(link, &LinkTransport::ringIndicator); }
int LinkSetDtr(LinkConnection* link, int mode) { return LinkTransportRun(link, &LinkTransport::setDtr, mode); }
int LinkSetRts(LinkConnection* link, int mode) { return LinkTransportRun(link, &LinkTransport::setRts, mode); }
int LinkSetBreak(LinkConnection* link, int mode) { return LinkTransportRun(link, &LinkTransport::setBreak, mode); }

int LinkLineStatus(LinkConnection* link, int selector) {
  return LinkTransportRun(link, &LinkTransport::lineStatus, selector);
}

int LinkGetShortFrames(LinkConnection* link) { return LinkTransportRun(link, &LinkTransport::shortFrames); }

int LinkSerialMode(LinkConnection* link, int shortFrames, int baud) {
  const LinkTransport* transport = LinkTransportOf(link);
  if (transport == nullptr) return 0;
  if (baud == 0) baud = static_cast<int>(shortFrames ? link->altBaud : link->requestedBaud);
  link->baud = static_cast<std::uint32_t>(baud);
  if (transport->switchForm != nullptr) transport->switchForm(link, shortFrames, baud);
  link->shortFrames = static_cast<std::int16_t>(shortFrames);
  return 0;
}

void LinkReopenSerial(LinkConnection* link) {
  const LinkTransport* transport = LinkTransportOf(link);
  if (transport != nullptr && transport->reopen != nullptr) transport->reopen(link);
}

void LinkSerialErrors(LinkConnection* link, int* lastError, int* lineErrors, int* bytesWaiting) {
  const LinkTransport* transport = LinkTransportOf(link);
  if (transport != nullptr && transport->errors != nullptr)
    transport->errors(link, lastError, lineErrors, bytesWaiting);
}

int LinkLineStatusByHandle(int handle, int selector) { return LinkLineStatus(LinkFromHandle(handle), selector); }
int LinkPeerPresentByHandle(int handle) { return LinkPeerPresent(LinkFromHandle(handle)); }
int LinkCarrierDetectByHandle(int handle) { return LinkCarrierDetect(LinkFromHandle(handle)); }
int LinkClearToSendByHandle(int handle) { return LinkClearToSend(LinkFromHandle(handle)); }
int LinkRingIndicatorByHandle(int handle) { return LinkRingIndicator(LinkFromHandle(handle)); }
int LinkSetDtrByHandle(int handle, int mode) { return LinkSetDtr(LinkFromHandle(handle), mode); }
int LinkSetRtsByHandle(int handle, int mode) { return LinkSetRts(LinkFromHandle(handle), mode); }
int LinkSetBreakByHandle(int handle, int mode) { return LinkSetBreak(LinkFromHandle(handle), mode); }
