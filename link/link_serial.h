// Serial links: a connection of kind LinkKindSerial whose bytes travel over a COM port through the serial
// port driver; its transport is LinkSerialTransport (link_transport.h). There is no thread: the caller's
// receive and query operations poll the port.
//
// Process-wide state of this module: the saved serial error, the platform error code kept by the
// last failed LinkOpenSerial, read and cleared by LinkSerialErrors.
#pragma once

#include "link/link.h"

// The serial receive area (rawData) and the most one poll reads.
constexpr int LinkRawAreaSize = 4000;
constexpr int LinkSerialChunk = 2000;
// The two-byte command parser's state (parseState).
constexpr std::int16_t LinkParseIdle = 0;     // waiting for a command byte
constexpr std::int16_t LinkParseCommand = 1;  // a command byte came; its argument is next
constexpr std::int16_t LinkParseText = 2;     // inside a text block

// Text bytes one text block message can carry: a queue slot holds 1600 bytes, 12 of them framing.
constexpr int LinkTextBlockMaxData = LinkQueueSlotSize - 12;

// Opens the port named by "COMn" in address (upper case, ":HW" asks for hardware handshaking) at
// number baud (0 = 9600). 0 opened; LinkErrorNoComName, LinkErrorNoPortNumber or a negative driver code.
int LinkOpenSerial(LinkConnection* link, const char* address, int number);
// Clears the receive state and errorCount and empties both receive queues.
void LinkResetSerial(LinkConnection* link);
// Records event 313, closes the record files and the port; the port close result, or 0 when none was open.
int LinkCloseSerial(LinkConnection* link);

// Reads the port under the serial lock: PollSerialLine's result. The receive operations run it first.
int LinkPollSerial(LinkConnection* link);
// One poll of the port, run under the serial lock by LinkPollSerial: 1 when a binary
// message was queued, the number of raw bytes stored in raw mode, a negative driver code when the read
// failed, else 0.
int PollSerialLine(LinkConnection* link);

// Writes bytes (count 0: a text's length) to the port: 0 written, LinkErrorPortClosed or LinkErrorShortWrite.
int LinkWriteSerial(LinkConnection* link, const void* bytes, int count);
