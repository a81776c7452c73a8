// The record events of the link library: every step a connection records in its record files, as one
// table that gives each event code its name and what its three values a, b, c mean. The library
// records by these names; a reader of record files prints them from the same table.
#pragma once

#include <cstdint>

// X(name, code, what happened, value a, value b, value c). Values that are "-" are recorded as 0.
// "first word" and "second word" are a message's bytes 0-3 and 4-7 as little-endian numbers; "role" is
// isServer. Events go to the receive record file unless they say "(transmit)". Codes 100 and 200 are
// text records: their text is the local UDP port and address.
#define LINK_EVENT_TABLE(X)                                                                                           \
  X(QueuedStream, 0, "message queued in the stream queue", "first word", "sequence", "second word")                   \
  X(QueuedDatagram, 1, "message queued in the datagram queue", "first word", "sequence", "second word")               \
  X(LatestReplaced, 20, "a latest-only message replaced its queued twin", "slot", "twin's sequence",                  \
    "twin's second word")                                                                                             \
  X(MessageDropped, 21, "message dropped: its queue full", "-", "sequence", "-")                                      \
  X(ClientStreamWaiting, 22, "client stream: the rest of a message has not arrived", "first word", "bytes received",  \
    "bytes held")                                                                                                     \
  X(ServerStreamWaiting, 23, "server stream: the rest of a message has not arrived", "first word", "bytes received",  \
    "bytes held")                                                                                                     \
  X(ClientStreamDiscarded, 24, "client stream: bytes that cannot start a message discarded", "first word",            \
    "bytes received", "bytes held")                                                                                   \
  X(ClientStreamShort, 25, "client stream: fewer than 8 bytes held", "first word", "bytes received",                  \
    "bytes held before")                                                                                              \
  X(ClientStreamCut, 26, "client stream: a message cut off the front, more bytes held", "first word",                 \
    "bytes received", "bytes held")                                                                                   \
  X(ServerStreamDiscarded, 27, "server stream: bytes that cannot start a message discarded", "first word",            \
    "bytes received", "bytes held")                                                                                   \
  X(ServerStreamShort, 28, "server stream: fewer than 8 bytes held", "first word", "bytes received",                  \
    "bytes held before")                                                                                              \
  X(ServerStreamCut, 29, "server stream: a message cut off the front, more bytes held", "first word",                 \
    "bytes received", "bytes held")                                                                                   \
  X(Unqueued, 30, "LinkReceive handed out a message", "first word", "sequence", "second word")                        \
  X(MessageMalformed, 31,                                                                                             \
    "malformed message dropped: fewer than 8 bytes, or a length field below 8, above "                                \
    "1600 or above the bytes held",                                                                                   \
    "length field (0: fewer than 8 bytes)", "-", "bytes held")                                                        \
  X(DatagramSent, 41, "datagram sent (transmit)", "first word", "sequence", "second word")                            \
  X(StreamSent, 42, "message sent on the TCP connection (transmit)", "first word", "sequence", "second word")         \
  X(AnnouncementSent, 43, "server announcement sent (transmit)", "first word", "-", "second word")                    \
  X(SocketTaken, 50, "TCP socket made or taken", "step: 9 opened, 4 accepted, 8 client's new socket failed", "role",  \
    "socket")                                                                                                         \
  X(TcpSocketClosed, 51, "TCP socket closed",                                                                         \
    "step: 10 older connection on an accept, 3 connection on an accept error, 6 on disconnect", "role", "socket")     \
  X(ConnectedAfterQuiet, 52, "client connected after a quiet pass", "step: 7", "role", "-")                           \
  X(ConnectionClosed, 53, "connection or UDP socket closed",                                                          \
    "step: 1 connection on a select error, 2 connection at its end, 5 UDP socket on disconnect", "role",              \
    "connection socket")                                                                                              \
  X(SocketDisconnect, 91, "socket link disconnecting", "status", "threadRunning", "connection socket")                \
  X(SocketRestart, 92, "socket link restarting", "status", "threadRunning", "connection socket")                      \
  X(ConnectStep, 93, "connect failed at a step, or a client's new TCP socket after a loss",                           \
    "step: 1 resolve, 2 UDP socket, 3 UDP bind, 4 TCP socket, 5 TCP bind, 8 thread", "role",                          \
    "new socket (after a loss)")                                                                                      \
  X(SendUnconnected, 99, "message sent while not connected", "message class", "role", "listenState")                  \
  X(ClientStarted, 100, "client thread started (text record)", "-", "-", "-")                                         \
  X(ClientNonBlockingFailed, 101, "client: making the TCP socket non-blocking failed", "error", "-", "-")             \
  X(ClientConnectError, 102, "client: connect failed", "error", "-", "-")                                             \
  X(ClientConnectPending, 103, "client: awaiting accept after connect", "-", "-", "-")                                \
  X(ClientConnected, 104, "client connected", "-", "-", "-")                                                          \
  X(ClientSelectBefore, 105, "client: sockets selected", "read mask", "-", "write mask")                              \
  X(ClientSelectError, 106, "client: select failed", "error", "-", "-")                                               \
  X(ClientSelectAfter, 107, "client: sockets ready", "read mask", "-", "write mask")                                  \
  X(ClientTcpReceived, 108, "client: TCP receive", "result", "-", "-")                                                \
  X(ClientConnectionLost, 109, "client: connection lost", "receive result", "-", "-")                                 \
  X(ClientUdpReceived, 110, "client: UDP receive", "result", "-", "-")                                                \
  X(ClientQuietConnectFailed, 124, "client: connect after a quiet pass failed", "error", "-", "-")                    \
  X(ClientAnnouncementMatched, 125, "client: its server's announcement arrived", "length", "-", "-")                  \
  X(ClientWritable, 126, "client: TCP socket writable, connected", "last socket call's result", "-", "-")             \
  X(ClientAlreadyConnected, 127, "client: connect found the socket connected", "error", "status", "-")                \
  X(ServerStarted, 200, "server thread started (text record)", "-", "-", "-")                                         \
  X(ServerListenError, 201, "server: listen failed", "error", "-", "-")                                               \
  X(ServerAccepted, 203, "server: connection accepted", "socket", "-", "-")                                           \
  X(ServerSelectBefore, 205, "server: sockets selected", "read mask", "-", "-")                                       \
  X(ServerSelectError, 206, "server: select failed", "error", "-", "-")                                               \
  X(ServerSelectAfter, 207, "server: sockets ready", "read mask", "-", "-")                                           \
  X(ServerTcpReceived, 208, "server: TCP bytes received", "count", "-", "-")                                          \
  X(ServerConnectionEnded, 209, "server: connection ended", "receive result", "-", "-")                               \
  X(ServerUdpReceived, 210, "server: UDP receive", "result", "-", "-")                                                \
  X(ServerAcceptResult, 211, "server: accept", "result (-1 failed)", "1 after a poke", "-")                           \
  X(ServerAcceptError, 212, "server: accept failed", "error", "-", "-")                                               \
  X(ServerAcceptDropped, 213, "server: connection dropped on an accept error", "error", "-", "-")                     \
  X(ServerPoked, 224, "server: poke received", "length", "-", "-")                                                    \
  X(SerialRead, 300, "serial poll read bytes", "count", "-", "first four bytes")                                      \
  X(SerialRawTaken, 301, "LinkReceive handed out raw bytes", "count", "-", "first four bytes")                        \
  X(SerialRawFull, 302, "raw mode, fewer than 100 bytes free: nothing read", "rawCount", "-", "rawMode")              \
  X(SerialReadFailed, 303, "serial read failed", "driver result", "-", "rawMode")                                     \
  X(SerialLineError, 304, "line error (overrun, parity, framing, overflow)", "error flags", "-", "DSR")               \
  X(SerialRawHeldOff, 305, "raw mode: chunk discarded during the hold-off", "errorTime", "-", "lastRxTime")           \
  X(SerialRawHoldOffEnded, 306, "raw mode: hold-off ended after an overflow, chunk discarded", "rawLimit", "-",       \
    "position in the chunk")                                                                                          \
  X(SerialRawOverflow, 307, "raw mode: receive area full", "rawCount", "-", "errorCount")                             \
  X(SerialRawStored, 308, "raw mode: bytes stored", "count", "-", "lastRxTime")                                       \
  X(SerialWritten, 309, "serial write (transmit)", "count", "-", "first four bytes")                                  \
  X(SerialNoPortNumber, 310, "serial open: port number missing or 0", "-", "-", "four characters after \"CO\"")       \
  X(SerialOpenFailed, 311, "serial open: the driver could not open the port", "driver result", "-", "platform error") \
  X(SerialOpened, 312, "serial port open", "port number", "-", "-")                                                   \
  X(SerialClosed, 313, "serial link disconnecting", "comPort", "-", "-")                                              \
  X(SerialReopened, 314, "serial port reopened", "comPort", "-", "-")                                                 \
  X(SerialDtr, 315, "DTR raised, dropped or read", "comPort", "-", "driver result")                                   \
  X(SerialRts, 316, "RTS raised, dropped or read", "comPort", "-", "driver result")                                   \
  X(SerialRawEmpty, 317, "raw mode: LinkReceive found nothing", "comPort", "-", "-")                                  \
  X(SerialByteStored, 319, "binary form: one byte stored", "rawCount before", "-", "the byte")                        \
  X(SerialFrameRejected, 320, "binary form: frame rejected", "rawCount", "-", "length field")                         \
  X(SerialMessageQueued, 321, "binary form: message queued", "rawCount after", "-", "message length")                 \
  X(SerialAreaFull, 322, "binary form: receive area full", "rawCount", "-", "position in the chunk")                  \
  X(SerialFormSwitched, 323, "line handshake: form switched after a break", "-", "-", "-")                            \
  X(SerialReset, 324, "serial receive state reset", "-", "-", "-")

// The event codes by name: LinkEventClientConnected is 104.
enum LinkEventCode : std::uint16_t {
#define LINK_EVENT_CODE(name, code, what, a, b, c) LinkEvent##name = code,
  LINK_EVENT_TABLE(LINK_EVENT_CODE)
#undef LINK_EVENT_CODE
};

// One row of the table.
struct LinkEventInfo {
  std::uint16_t code;
  const char* name;  // "ClientConnected"
  const char* what;  // what happened
  const char* a;     // what each value means; "-" for a value recorded as 0
  const char* b;
  const char* c;
};

// Every event of the library in code order, and their number.
extern const LinkEventInfo LinkEventTable[];
extern const int LinkEventCount;

// The row of an event code; null for a code the library does not record itself (LinkTraceEvent records
// any code the application chooses).
const LinkEventInfo* LinkFindEvent(int code);
