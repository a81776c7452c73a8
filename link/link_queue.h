// The receive side of the link library: the two receive queues of a connection, the cutting of a TCP byte
// stream into messages, and the serial poll behind the caller's receive operations.
#ifndef TAVIK_LINK_LINK_QUEUE_H
#define TAVIK_LINK_LINK_QUEUE_H

#include "link/link.h"

#include <cstdint>

constexpr int LinkStreamQueue = 0;
constexpr int LinkDatagramQueue = 1;

// Queues the message at the start of rxBuffer, `length` bytes of which were received: 0 queued or
// replaced, 1 dropped (queue full, or a length field below 8, above 1600 or above the bytes held; every
// drop is counted in errorCount). Takes the queue lock.
int LinkEnqueue(LinkConnection* link, int length, int queue, const char* source);
// The same for a message held elsewhere (the link threads read datagrams into a buffer of their own).
int LinkEnqueueMessage(LinkConnection* link, const std::uint8_t* message, int length, int queue,
                       const char* source);

// Appends `got` stream bytes, received into rxBuffer after the `have` bytes held before, and queues every
// message they complete; updates rxHave. Run by the link threads after each TCP receive.
void LinkReassembleStream(LinkConnection* link, std::uint32_t have, int got);

// Empties both queues and restarts their sequence checks.
void LinkClearQueues(LinkConnection* link);

// Reads a serial link's port under the serial lock (the caller's receive operations run it first).
int LinkPollSerial(LinkConnection* link);

#endif
