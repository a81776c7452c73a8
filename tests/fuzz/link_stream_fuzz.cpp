// Fuzz target: arbitrary bytes cut into TCP reads and datagrams, fed to the stream reassembly and the
// receive queues of one connection, then everything queued is taken out again.
#include "link/link.h"
#include "link_queue.h"
#include "link_transport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

LinkConnection* Connection() {
  static LinkConnection* link = [] {
    LinkConnection* c = LinkCreate();
    LinkSetTransport(c, &LinkSocketTransport);
    LinkSetClass(c, 0xC0, 0xC7, ClassLatest);
    return c;
  }();
  return link;
}

// One TCP read: as many bytes as the input says, at most what rxBuffer has room for.
void FeedStream(LinkConnection* link, const std::uint8_t* data, size_t size) {
  std::uint32_t have = link->rxHave;
  size_t room = sizeof link->rxBuffer - have;
  size_t got = std::min(size, room);
  if (got == 0) return;
  std::memcpy(link->rxBuffer + have, data, got);
  LinkReassembleStream(link, have, static_cast<int>(got));
}

// Takes everything out again, with buffers of several sizes and every queue selector.
void Drain(LinkConnection* link) {
  std::uint8_t buffer[1600];
  const int sizes[] = {1600, 3, 9, 1};
  for (int i = 0; i < 250 && LinkPending(link, -1) != 0; i++) LinkReceive(link, i % 3 - 1, buffer, sizes[i % 4]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  LinkConnection* link = Connection();
  LinkFlush(link);
  link->status = size % 2 ? 3 : 0;
  // Each chunk: a control byte (bit 7: datagram; low bits: length / 8 + 1), then the bytes.
  while (size > 0) {
    std::uint8_t control = data[0];
    data++;
    size--;
    size_t length = std::min<size_t>(size, static_cast<size_t>(control & 0x7F) * 16 + 1);
    if (control & 0x80)
      LinkEnqueueMessage(link, data, static_cast<int>(std::min<size_t>(length, 1608)), LinkDatagramQueue, "fuzz");
    else
      FeedStream(link, data, length);
    data += length;
    size -= length;
    if (link->queues[0].count > 90 || link->queues[1].count > 90) Drain(link);
  }
  Drain(link);
  return 0;
}
