// Serial links: the operations the object layer calls on a connection of kind 0.
#ifndef TAVIK_LINK_LINK_SERIAL_H
#define TAVIK_LINK_LINK_SERIAL_H

#include "link/link.h"

// Records event 313, closes the record files and the port; the port close result, or 0 when none was open.
int LinkCloseSerial(LinkConnection* link);

// Called by the connection and queue code on a connection of kind 0.
// Opens the port named in the (upper-case, at most 40 characters) address: 0, or the serial side's code.
int LinkOpenSerial(LinkConnection* link, const char* address, int number);
// Clears the receive state and errorCount and empties both receive queues.
void LinkResetSerial(LinkConnection* link);
// One poll of the port (run under the serial lock by LinkPollSerial): 1 message queued, raw bytes stored,
// a negative driver code, or 0.
int PollSerialLine(LinkConnection* link);
// Writes bytes to the port (count 0: the bytes as a text): 0, 1 port closed, 2 short write.
int LinkWriteSerial(LinkConnection* link, const void* bytes, int count);

#endif
