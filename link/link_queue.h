// The two receive queues of a connection: putting messages in (the link threads, the serial poll and the
// cutting of a TCP byte stream into messages) and taking them out (the receive operations). Data only: the
// queues never touch a socket or a port.
#pragma once

#include "link/link.h"

#include <cstdint>

constexpr int LinkStreamQueue = 0;
constexpr int LinkDatagramQueue = 1;

// Queues the message at the start of rxBuffer, `length` bytes of which were received: 0 queued or
// replaced, 1 dropped: its queue full (recorded as MessageDropped) or the message malformed, a length
// field below 8, above 1600 or above the bytes held (MessageMalformed); every drop is counted in
// errorCount. Takes the queue lock.
int LinkEnqueue(LinkConnection* link, int length, int queue, const char* source);
// The same for a message held elsewhere (the link threads read datagrams into a buffer of their own).
int LinkEnqueueMessage(LinkConnection* link, const std::uint8_t* message, int length, int queue, const char* source);

// Appends `got` stream bytes, received into rxBuffer after the `have` bytes held before, and queues every
// message they complete; updates rxHave. Run by the link threads after each TCP receive.
void LinkReassembleStream(LinkConnection* link, std::uint32_t have, int got);

// Empties both queues and restarts their sequence checks.
void LinkClearQueues(LinkConnection* link);

// Takes the oldest message of the queue the selector names (0 stream, above 0 datagram, below 0 the
// stream queue while it holds a message, else the datagram queue) into the buffer, cut to size: the bytes
// copied, 0 when that queue is empty.
int LinkDequeue(LinkConnection* link, int selector, void* buffer, int size);
// Bit 0: the stream queue holds a message (asked when which <= 0); bit 1: the datagram queue does
// (asked when which != 0).
int LinkQueuedMask(LinkConnection* link, int which);
// The answer to a LinkQuery question (link.h) from the queues; 0 for an unknown question.
int LinkQueueAnswer(LinkConnection* link, int question);
