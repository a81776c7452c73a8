// Taking what a link received: LinkReceive, LinkPending and LinkQuery over the two receive queues (or a
// serial link's raw bytes), LinkFlush, and their handle forms. The transport first brings in what waits
// on the line: a serial link reads its port here, a socket link's thread has received already.
#include "link/link.h"
#include "link_queue.h"
#include "link_transport.h"

namespace {

// The transport of a registered object once it has brought in what waits; null when not registered.
const LinkTransport* Polled(LinkConnection* link) {
  const LinkTransport* transport = LinkTransportOf(link);
  if (transport != nullptr && transport->poll != nullptr) transport->poll(link);
  return transport;
}

}  // namespace

int LinkReceive(LinkConnection* link, int selector, void* buffer, int size) {
  const LinkTransport* transport = Polled(link);
  if (transport == nullptr) return 0;
  int raw = transport->takeRaw != nullptr ? transport->takeRaw(link, buffer, size) : -1;
  if (raw >= 0) return raw;
  if (buffer == nullptr || size <= 0) return 0;
  return LinkDequeue(link, selector, buffer, size);
}

int LinkPending(LinkConnection* link, int which) {
  const LinkTransport* transport = Polled(link);
  if (transport == nullptr) return 0;
  int raw = transport->rawPending != nullptr ? transport->rawPending(link) : -1;
  return raw >= 0 ? raw : LinkQueuedMask(link, which);
}

int LinkQuery(LinkConnection* link, int question) {
  return Polled(link) != nullptr ? LinkQueueAnswer(link, question) : 0;
}

void LinkFlush(LinkConnection* link) {
  const LinkTransport* transport = LinkTransportOf(link);
  if (transport != nullptr) transport->flush(link);
}

int LinkReceiveByHandle(int handle, int selector, void* buffer, int size) {
  return LinkReceive(LinkFromHandle(handle), selector, buffer, size);
}
int LinkPendingByHandle(int handle, int which) { return LinkPending(LinkFromHandle(handle), which); }
int LinkQueryByHandle(int handle, int question) { return LinkQuery(LinkFromHandle(handle), question); }
void LinkFlushByHandle(int handle) { LinkFlush(LinkFromHandle(handle)); }
