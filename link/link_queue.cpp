// The two receive queues of a connection. Messages are copied into fixed slots inside the record and handed
// out by smallest sequence number, so a queue never allocates and arrival order does not matter.
#include "link_queue.h"

#include "link/link_events.h"
#include "link_locks.h"
#include "link_record.h"
#include "link_shared.h"
#include "link_wire.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

// Record event codes of the stream reassembly: the client's and the server's.
struct StreamEvents {
  int partial;  // fewer than 8 bytes held
  int bad;      // data that cannot start a message: discarded
  int cut;      // a message taken off the front, more bytes held
  int waiting;  // the rest of a message has not arrived
};
const StreamEvents clientEvents{LinkEventClientStreamShort, LinkEventClientStreamDiscarded, LinkEventClientStreamCut,
                                LinkEventClientStreamWaiting};
const StreamEvents serverEvents{LinkEventServerStreamShort, LinkEventServerStreamDiscarded, LinkEventServerStreamCut,
                                LinkEventServerStreamWaiting};

std::uint32_t LengthOf(const std::uint8_t* message) { return LinkGetU16(message + LinkOffsetLength); }

// The sequence number sits in a message's last four bytes.
std::uint32_t SequenceOf(const std::uint8_t* message) { return LinkGetU32(message + LengthOf(message) - 4); }

std::uint32_t FirstWord(const std::uint8_t* message) { return LinkGetU32(message); }
std::uint32_t SecondWord(const std::uint8_t* message) { return LinkGetU32(message + 4); }

// A message fits a slot when its length field covers the header and sequence, stays within the slot and
// within the bytes actually received.
bool FitsSlot(std::uint32_t field, int held) {
  return field >= static_cast<std::uint32_t>(LinkHeaderSize) &&
         field <= static_cast<std::uint32_t>(LinkQueueSlotSize) && field <= static_cast<std::uint32_t>(held);
}

int FindTwin(const LinkQueue& queue, const std::uint8_t* message) {
  for (int i = 0; i < LinkQueueSlots; i++)
    if (queue.slots[i] != nullptr && std::memcmp(queue.slots[i], message, 4) == 0) return i;
  return -1;
}

int FreeSlot(const LinkQueue& queue) {
  for (int i = 0; i < LinkQueueSlots; i++)
    if (queue.slots[i] == nullptr) return i;
  return -1;
}

// The oldest message: smallest sequence number as unsigned 32-bit, the lowest slot among equals.
int OldestSlot(const LinkQueue& queue) {
  int oldest = -1;
  std::uint32_t best = 0;
  for (int i = 0; i < LinkQueueSlots; i++) {
    if (queue.slots[i] == nullptr) continue;
    std::uint32_t seq = SequenceOf(queue.slots[i]);
    if (oldest < 0 || seq < best) {
      oldest = i;
      best = seq;
    }
  }
  return oldest;
}

int DropMalformed(LinkConnection* link, std::uint32_t field, int held) {
  std::lock_guard<std::mutex> hold(LinkQueueLock());
  link->errorCount++;
  LinkRecordEvent(link, LinkDirectionReceive, LinkEventMessageMalformed, field, 0, static_cast<std::uint32_t>(held));
  return 1;
}

// Under the queue lock: a latest-only message replaces a queued twin (same code, subcode and length).
bool ReplaceTwin(LinkConnection* link, LinkQueue& queue, const std::uint8_t* message) {
  int twin = FindTwin(queue, message);
  if (twin < 0) return false;
  const std::uint8_t* old = queue.slots[twin];
  LinkRecordEvent(link, LinkDirectionReceive, LinkEventLatestReplaced, static_cast<std::uint32_t>(twin),
                  SequenceOf(old), SecondWord(old));
  std::memcpy(queue.slots[twin], message, LengthOf(message));
  return true;
}

}  // namespace

int LinkEnqueueMessage(LinkConnection* link, const std::uint8_t* message, int length, int queue, const char* source) {
  // Fewer than 8 bytes cannot hold a message; its length field is not even read.
  std::uint32_t field = length >= LinkHeaderSize ? LengthOf(message) : 0;
  if (!FitsSlot(field, length) || queue < 0 || queue > 1) return DropMalformed(link, field, length);
  int kind = link->classOf[message[LinkOffsetCode]];
  LinkLogMessage(link, LinkDirectionReceive, kind, message);

  std::lock_guard<std::mutex> hold(LinkQueueLock());
  std::uint32_t seq = SequenceOf(message);
  if (link->lastSeq[queue] != 0 && seq != link->lastSeq[queue] + 1) link->seqGaps[queue]++;
  link->lastSeq[queue] = seq;
  int queued = queue == LinkStreamQueue ? LinkEventQueuedStream : LinkEventQueuedDatagram;
  LinkRecordEvent(link, LinkDirectionReceive, queued, FirstWord(message), seq, SecondWord(message));

  LinkQueue& q = link->queues[queue];
  if (kind == ClassLatest && LinkLoad(link->status) != 0 && ReplaceTwin(link, q, message)) return 0;
  int slot = q.count < LinkQueueSlots ? FreeSlot(q) : -1;
  if (slot < 0) {
    link->errorCount++;
    LinkRecordEvent(link, LinkDirectionReceive, LinkEventMessageDropped, 0, seq, 0);
    return 1;
  }
  q.slots[slot] = q.storage[slot];
  std::memcpy(q.slots[slot], message, field);
  q.count++;
  LinkDebugPrint("%c queued %d (count = %d) from %s\n", LinkRoleChar(link), slot, q.count, source);
  return 0;
}

int LinkEnqueue(LinkConnection* link, int length, int queue, const char* source) {
  return LinkEnqueueMessage(link, link->rxBuffer, std::min(length, LinkReceiveBufferSize), queue, source);
}

void LinkReassembleStream(LinkConnection* link, std::uint32_t have, int got) {
  const StreamEvents& ev = link->isServer ? serverEvents : clientEvents;
  std::uint8_t* buffer = link->rxBuffer;
  std::uint32_t count = static_cast<std::uint32_t>(got);
  if (have + count < static_cast<std::uint32_t>(LinkHeaderSize)) {
    LinkStore(link->rxHave, have + count);
    LinkRecordEvent(link, LinkDirectionReceive, ev.partial, FirstWord(buffer), count, have);
    return;
  }
  if (buffer[LinkOffsetCode] < 128) {
    LinkRecordEvent(link, LinkDirectionReceive, ev.bad, FirstWord(buffer), count, have);
    LinkStore(link->rxHave, 0);
    return;
  }
  have += count;
  while (have >= static_cast<std::uint32_t>(LinkHeaderSize)) {
    std::uint32_t field = LengthOf(buffer);
    // A length that cannot frame a message would stall the stream or overrun rxBuffer: resynchronise.
    if (field < static_cast<std::uint32_t>(LinkHeaderSize) ||
        field > static_cast<std::uint32_t>(LinkReceiveBufferSize)) {
      LinkRecordEvent(link, LinkDirectionReceive, ev.bad, FirstWord(buffer), count, have);
      DropMalformed(link, field, static_cast<int>(have));
      have = 0;
      break;
    }
    if (have < field) break;
    LinkEnqueue(link, static_cast<int>(field), LinkStreamQueue, "tcpsocket");
    if (have == field) {
      have = 0;
      break;
    }
    std::memmove(buffer, buffer + field, have - field);
    have -= field;
    LinkRecordEvent(link, LinkDirectionReceive, ev.cut, FirstWord(buffer), count, have);
  }
  LinkStore(link->rxHave, have);
  if (have > 0) LinkRecordEvent(link, LinkDirectionReceive, ev.waiting, FirstWord(buffer), count, have);
}

void LinkClearQueues(LinkConnection* link) {
  for (int i = 0; i < 2; i++) {
    std::lock_guard<std::mutex> hold(LinkQueueLock());
    LinkQueue& q = link->queues[i];
    link->lastSeq[i] = 0;
    q.count = 0;
    std::fill(std::begin(q.slots), std::end(q.slots), nullptr);
  }
}

int LinkDequeue(LinkConnection* link, int selector, void* buffer, int size) {
  int slot;
  int n;
  {
    std::lock_guard<std::mutex> hold(LinkQueueLock());
    int queue = selector == 0 ? 0 : selector > 0 ? 1 : (link->queues[0].count != 0 ? 0 : 1);
    LinkQueue& q = link->queues[queue];
    slot = q.count != 0 ? OldestSlot(q) : -1;
    if (slot < 0) return 0;
    const std::uint8_t* message = q.slots[slot];
    n = std::min(static_cast<int>(LengthOf(message)), size);
    std::memcpy(buffer, message, static_cast<size_t>(n));
    LinkRecordEvent(link, LinkDirectionReceive, LinkEventUnqueued, FirstWord(message), SequenceOf(message),
                    SecondWord(message));
    q.slots[slot] = nullptr;
    q.count--;
  }
  LinkDebugPrint("%c unqueued %d\n", LinkRoleChar(link), slot);
  return n;
}

int LinkQueuedMask(LinkConnection* link, int which) {
  std::lock_guard<std::mutex> hold(LinkQueueLock());
  int mask = 0;
  if (which <= 0 && link->queues[0].count != 0) mask |= 1;
  if (which != 0 && link->queues[1].count != 0) mask |= 2;
  return mask;
}

int LinkQueueAnswer(LinkConnection* link, int question) {
  std::lock_guard<std::mutex> hold(LinkQueueLock());
  const LinkQueue& stream = link->queues[0];
  switch (question) {
    case LinkQueryAnyWaiting:
      return stream.count != 0 || link->queues[1].count != 0 ? 1 : 0;
    case LinkQueryStreamWaiting:
      return stream.count != 0 ? 1 : 0;
    case LinkQueryStreamCode:
    case LinkQueryStreamPayload: {
      int slot = stream.count != 0 ? OldestSlot(stream) : -1;
      if (slot < 0) return 0;
      const std::uint8_t* message = stream.slots[slot];
      return question == LinkQueryStreamCode ? message[LinkOffsetCode]
                                             : static_cast<int>(LengthOf(message)) - LinkHeaderSize;
    }
    default:
      return 0;
  }
}
