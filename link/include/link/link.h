// The link library's public interface: the connection record, its operations by object and by handle,
// the library's clocks, debug output and key/value lists.
#pragma once

#include <cstdint>
#include <cstdio>

#if defined(__GNUC__)
#define LINK_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define LINK_PRINTF_FORMAT(fmt, args)
#endif

// Message frame: code (u8), subcode (u8), length (u16, payload + 8), payload, sequence (u32); little-endian.
constexpr int LinkHeaderSize = 8;            // code, subcode, length, and the trailing sequence number
constexpr int LinkMaxMessageLength = 1600;   // the longest message LinkSend accepts
constexpr int LinkReceiveBufferSize = 1608;  // rxBuffer: the longest message a receive can hold
constexpr int LinkQueueSlots = 96;           // messages one receive queue holds
constexpr int LinkQueueSlotSize = 1600;      // storage block of one queue slot
constexpr int LinkRegistrySize = 16;         // registered objects at once
constexpr int LinkHandleCount = 8;           // handles 0 to 7
constexpr int LinkDefaultPort = 5510;        // default T port of a socket link
constexpr int LinkAnnounceCode = 237;        // server announcement
constexpr int LinkPokeCode = 239;            // client's request that the server accept

// Offsets inside a message.
constexpr int LinkOffsetCode = 0;
constexpr int LinkOffsetSubcode = 1;
constexpr int LinkOffsetLength = 2;
constexpr int LinkOffsetPayload = 4;

// Connection flags of LinkConnect.
constexpr int LinkFlagServer = 0x01;
constexpr int LinkFlagLocalOnly = 0x10;
constexpr int LinkFlagNoAnnounce = 0x20;
constexpr int LinkFlagDatagramOnly = 0x40;

// How messages of one code travel and are queued (the value of classOf for that code).
enum MessageClass : std::uint8_t {
  ClassStream = 0,     // over TCP when connected, else as a datagram
  ClassDatagram = 1,   // as a datagram to udpPeer (any other nonzero value behaves the same)
  ClassLatest = 2,     // as a datagram; while connected a new message replaces a queued twin
  ClassBroadcast = 4,  // as a broadcast datagram
};

// One receive queue: slot i points at storage[i] while it holds a message, null while free.
struct LinkQueue {
  std::uint8_t* slots[LinkQueueSlots];
  std::uint16_t count;
  std::uint8_t storage[LinkQueueSlots][LinkQueueSlotSize];
};

// An IPv4 socket address laid out as the platform's sockaddr_in (16 bytes; port and address in network order).
struct LinkIpv4Address {
  std::uint16_t family;
  std::uint16_t port;
  std::uint8_t address[4];
  std::uint8_t zero[8];
};
static_assert(sizeof(LinkIpv4Address) == 16, "LinkIpv4Address must match sockaddr_in");

// The platform's thread handle, kept as a number so that the record stays plain data.
using LinkThreadHandle = std::uintptr_t;

// The kind of a connection's transport (its kind field).
constexpr std::int16_t LinkKindSerial = 0;  // serial or modem link; also an object that never connected
constexpr std::int16_t LinkKindSocket = 1;  // TCP with a companion UDP socket

// status: whether and how the link is connected.
constexpr std::int16_t LinkStatusNotConnected = 0;
constexpr std::int16_t LinkStatusAtOnce = 1;    // the client's connect completed at once
constexpr std::int16_t LinkStatusWritable = 2;  // the client's socket became writable
constexpr std::int16_t LinkStatusAccepted = 3;  // the server accepted a connection
constexpr std::int16_t LinkStatusAlready = 4;   // connect found the socket connected
constexpr std::int16_t LinkStatusPortOpen = 4;  // a serial link's port is open

// connectState: a client's connection progress (positive values ask for a connect attempt); a server
// sets Accepted and Dropped.
constexpr std::int16_t LinkConnectStateWanted = 1;       // the client thread has started
constexpr std::int16_t LinkConnectStatePending = 2;      // a connect is in progress
constexpr std::int16_t LinkConnectStateAgain = 4;        // a poke or its server's announcement came
constexpr std::int16_t LinkConnectStateLost = 5;         // a receive ended the connection
constexpr std::int16_t LinkConnectStateDropped = 6;      // server: a select error dropped the connection
constexpr std::int16_t LinkConnectStateQuietFailed = 9;  // the connect after a quiet pass failed
constexpr std::int16_t LinkConnectStateAtOnce = 0;       // connected at the top of a pass
constexpr std::int16_t LinkConnectStateAfterQuiet = -1;  // connected after a quiet pass
constexpr std::int16_t LinkConnectStateWritable = -2;    // connected when the socket became writable
constexpr std::int16_t LinkConnectStateAccepted = -3;    // server: a connection was accepted
constexpr std::int16_t LinkConnectStateAlready = -4;     // connect found the socket connected

// listenState: a server thread's way to listening, which its opener waits for.
constexpr std::int16_t LinkListenStarting = -1;  // set by the opener before the thread starts
constexpr std::int16_t LinkListenInside = 1;     // the thread is inside listen
constexpr std::int16_t LinkListening = 0;
constexpr std::int16_t LinkListenAgain = 2;       // listening again after an accept error
constexpr std::int16_t LinkListenAbandoned = -9;  // the opener stopped waiting

// The questions of LinkQuery.
constexpr int LinkQueryAnyWaiting = 0;     // 1 when either queue holds a message
constexpr int LinkQueryStreamWaiting = 1;  // 1 when the stream queue holds a message
constexpr int LinkQueryStreamCode = 2;     // the code of the oldest stream message, 0 none
constexpr int LinkQueryStreamPayload = 3;  // the payload length of the oldest stream message, 0 none

// Results of LinkConnect besides 0 (opened): the kind's own codes, or the resolver's error code (socket
// links) or a negative serial port driver code (serial links).
constexpr int LinkErrorUnknownKind = 1;   // neither "serial", "modem" nor a kind that begins with "ethernet"
constexpr int LinkErrorUdpSocket = 2;     // socket: no UDP socket within 5000 ms
constexpr int LinkErrorUdpBind = 3;       // socket: the UDP bind failed (port in use), or a port out of range
constexpr int LinkErrorTcpSocket = 4;     // socket: no TCP socket within 5000 ms
constexpr int LinkErrorTcpBind = 5;       // socket: the server's TCP bind failed
constexpr int LinkErrorNoThread = 8;      // socket: the link thread could not be started
constexpr int LinkErrorNotListening = 9;  // socket: the server thread did not reach listening in time
constexpr int LinkErrorNoPortNumber = 2;  // serial: no port number after "COM", or 0
constexpr int LinkErrorNoComName = 4;     // serial: the address names no "COM"
// Results of LinkSend besides 0 (sent): these, a socket link's Winsock error, or a serial link's
// LinkErrorPortClosed and LinkErrorShortWrite.
constexpr int LinkErrorTooLong = 32;    // above LinkMaxMessageLength, or a negative length
constexpr int LinkErrorLowCode = 33;    // socket: a code below 128
constexpr int LinkErrorNoLength = 34;   // no message, or (socket) a length field of 0
constexpr int LinkErrorPortClosed = 1;  // serial: the port is not open
constexpr int LinkErrorShortWrite = 2;  // serial: the port took fewer bytes than given

// One link to one peer: one contiguous plain record with every buffer inline.
struct LinkConnection {
  std::int16_t kind;          // LinkKindSocket or LinkKindSerial
  std::uint8_t userBuffer;    // 1 when the caller supplied the memory
  std::uint8_t openedBefore;  // 0 until the first server open
  std::uint32_t lastSeq[2];   // last sequence received per queue; 0 none
  std::uint32_t seqGaps[2];   // per queue: messages whose sequence was not the previous + 1
  std::uint32_t streamSeq;    // numbers built messages of class 0
  std::uint32_t datagramSeq;  // numbers built messages of any other class
  std::uint32_t txRecord;     // transmit record slot, 0 none
  std::uint32_t rxRecord;     // receive record slot, 0 none
  std::uint32_t tcpSocket;    // connecting socket (client) or listening socket (server)
  std::uint32_t udpSocket;
  std::uint32_t tPort;
  std::uint32_t uPort;
  std::uint32_t isServer;
  std::int16_t localOnly;
  std::uint8_t noAnnounce;
  std::uint8_t datagramOnly;
  char peerName[64];
  LinkThreadHandle thread;
  std::uint32_t threadRunning;
  std::uint32_t threadId;
  std::int16_t status;        // LinkStatusNotConnected, else how it connected (LinkStatus...)
  std::int16_t connectState;  // LinkConnectState...
  std::uint16_t runFlag;
  std::int16_t listenState;   // LinkListen...
  std::uint8_t classOf[256];  // MessageClass of every code
  LinkIpv4Address tcpPeer;
  LinkIpv4Address udpPeer;
  std::uint32_t connSocket;
  std::uint32_t connValid;
  LinkQueue queues[2];  // [0] stream, [1] datagram
  std::uint8_t rxBuffer[LinkReceiveBufferSize];
  std::uint32_t rxHave;
  std::int16_t shortFrames;
  std::int16_t lineWatch;
  std::int16_t parseState;  // the serial command parser's state
  std::int16_t comPort;     // 1-based; 0 port closed
  std::int16_t rawMode;
  std::int16_t hwFlow;
  std::uint32_t baud;
  std::int16_t blockLength;
  std::uint8_t blockData[4002];
  std::uint8_t rawData[4000];
  std::int16_t rawCount;
  std::int16_t rawLimit;
  std::uint32_t errorCount;
  std::uint32_t errorTime;
  std::uint32_t lastRxTime;
  std::uint8_t lastCode;
  std::uint8_t lineEvent;
  std::uint8_t lineChanged;
  std::uint16_t announceCount;
  std::uint32_t lastAnnounce;
  std::uint32_t altBaud;
  std::uint32_t requestedBaud;
  char hostName[100];
  std::uint8_t hostAddress[4];
  std::int32_t connectError;  // socket client: Winsock error of the last connect attempt that failed; 0 none
  std::int32_t serialError;   // serial: system error of the last failed open of the port, until asked; 0 none
};

// Every operation given an object that is not registered does nothing and returns 0 (LinkIsInvalid: 1,
// LinkSetLineWatch: -1). The handle forms below behave as their object forms.

// Objects: creation, registration and release.
// A new object with the default classes: null when out of memory or the socket library won't start.
LinkConnection* LinkCreate();
// The size of LinkConnection, for callers that supply the memory.
int LinkObjectSize();
// The buffer as a new object: null when it is null, smaller than LinkObjectSize, misaligned or a live object.
LinkConnection* LinkInitBuffer(void* buffer, int size);
// Disconnects, unregisters and (own memory) frees the object; nothing for memory the library did not initialise.
void LinkRelease(LinkConnection* link);
// 1 registered, 0 not (null gives 0).
int LinkIsValid(LinkConnection* link);
// 1 not registered, 0 registered; the second argument is ignored.
int LinkIsInvalid(LinkConnection* link, int ignored);
// Sets the MessageClass of the codes first..last (low bytes); no result.
void LinkSetClass(LinkConnection* link, int firstCode, int lastCode, int messageClass);
// While no object lives, empties the key/value lists; the number of live objects.
int LinkCleanup();
// Records event code with a, b, c in the object's receive record file; 1 (the object is not looked up).
int LinkTraceEvent(LinkConnection* link, int code, std::uint32_t a, std::uint32_t b, std::uint32_t c);

// Connecting and disconnecting.
// Opens a "serial"/"modem" link on port "COMn" at portOrBaud, or an "ethernet" link to the address on
// port portOrBaud (0: 5510), with the LinkFlag... flags: 0 opened, else LinkErrorUnknownKind, the kind's
// LinkError... code, the resolver's error code (socket) or a negative driver code (serial).
int LinkConnect(LinkConnection* link, const char* kind, const char* address, int portOrBaud, int flags);
// Stops the link's thread or closes its port, and its record files: socket 0; serial the port close result.
int LinkDisconnect(LinkConnection* link);

// Messages and the receive queues.
// Discards everything received and not yet taken; no result.
void LinkFlush(LinkConnection* link);
// Bit 0: a stream message waits (asked when which <= 0); bit 1: a datagram waits (which != 0); in raw
// mode 1 when raw bytes wait.
int LinkPending(LinkConnection* link, int which);
// The answer to a LinkQuery... question about the queues; 0 for any other question.
int LinkQuery(LinkConnection* link, int question);
// Takes the oldest message (selector 0 stream, > 0 datagram, < 0 stream first) or, in raw mode, raw bytes
// into the buffer, cut to size: the bytes delivered, 0 none.
int LinkReceive(LinkConnection* link, int selector, void* buffer, int size);
// Builds a numbered message in the buffer: its total length, 0 when it does not fit.
int LinkBuildMessage(LinkConnection* link, void* buffer, int size, int code, int subcode, const void* payload,
                     int payloadLength);
// The message's length field, 0 for no message (the object is not looked at).
int LinkMessageLength(LinkConnection* link, const void* message);
// Sends a message of length bytes (0: its length field): 0 sent, else a LinkError... code of LinkSend
// or the Winsock error of the send.
int LinkSend(LinkConnection* link, const void* message, int length);

// Line operations (serial links; socket links answer from their state).
// Socket: status; serial: the DSR line (1 on, 0 off, 0 with no open port).
int LinkPeerPresent(LinkConnection* link);
// Socket: status; serial: the carrier-detect line.
int LinkCarrierDetect(LinkConnection* link);
// Socket: status; serial: the CTS line.
int LinkClearToSend(LinkConnection* link);
// Socket: 0; serial: the ring line.
int LinkRingIndicator(LinkConnection* link);
// Mode 1 raises DTR, 0 drops it, other values read it. Socket: status; serial: the driver's result.
int LinkSetDtr(LinkConnection* link, int mode);
// Mode 1 raises RTS, 0 drops it, other values read it. Socket: 0; serial: the driver's result.
int LinkSetRts(LinkConnection* link, int mode);
// Socket: listenState - 10 while not listening, else connValid; serial: line error bit `selector` (0-4).
int LinkLineStatus(LinkConnection* link, int selector);
// Mode > 0 starts a break, 0 ends it, < 0 asks for it. Socket: 0; serial: the driver's result.
int LinkSetBreak(LinkConnection* link, int mode);
// Turns the modem-line handshake of a serial link on (nonzero) or off: the previous value.
int LinkSetLineWatch(LinkConnection* link, int value);
// How the link is connected, read whole while its thread may change it: LinkStatus... (0 not connected).
int LinkStatus(LinkConnection* link);
// Why a socket client is not connected: the Winsock error of its last connect attempt that failed (10061
// refused, 10051 or 10065 unreachable, 10060 timed out), 0 while none has failed since it started or last
// connected; 0 for servers and serial links.
int LinkConnectError(LinkConnection* link);
// Turns the two-byte command form on (nonzero) or off and sets rawMode (0 messages, 1 raw bytes with the
// error hold-off, 2 raw bytes without); no result.
void LinkSetSerialModes(LinkConnection* link, int shortFrames, int rawMode);
// Socket: 0; serial: shortFrames (nonzero while the two-byte command form is in use).
int LinkGetShortFrames(LinkConnection* link);
// Switches a serial link between messages and the two-byte command form (baud 0: the form's own rate),
// with the line handshake when lineWatch is on; 0.
int LinkSerialMode(LinkConnection* link, int shortFrames, int baud);
// Closes and reopens a serial link's port with its settings; no result.
void LinkReopenSerial(LinkConnection* link);
// Fills the pointers given with a serial link's kept platform error (else the driver's last, then forgets
// it), its line error flags and the bytes waiting (both -99 with no open port); nothing for a socket link.
void LinkSerialErrors(LinkConnection* link, int* lastError, int* lineErrors, int* bytesWaiting);

// Handles: a table of 8 objects and the handle forms of the operations.
// LinkHandleSlot: mode 0 releases all eight and returns index; index outside 0..7 gives -1;
// mode > 0 fills an empty entry with LinkCreate and returns the entry's object address (0 when none);
// mode < 0 releases the entry's object and returns 0.
std::intptr_t LinkHandleSlot(int index, int mode);
// The object of a handle; null for an empty entry or an index outside 0..7.
LinkConnection* LinkFromHandle(int index);
// Each handle form takes a handle in place of the object and returns what its object form returns; an
// empty handle behaves as an object that is not registered.
void LinkSetClassByHandle(int handle, int firstCode, int lastCode, int messageClass);
int LinkConnectByHandle(int handle, const char* kind, const char* address, int portOrBaud, int flags);
int LinkIsInvalidByHandle(int handle, int ignored);
int LinkDisconnectByHandle(int handle);
void LinkFlushByHandle(int handle);
int LinkPendingByHandle(int handle, int which);
int LinkQueryByHandle(int handle, int question);
int LinkReceiveByHandle(int handle, int selector, void* buffer, int size);
int LinkBuildMessageByHandle(int handle, void* buffer, int size, int code, int subcode, const void* payload,
                             int payloadLength);
int LinkMessageLengthByHandle(int handle, const void* message);
int LinkSendByHandle(int handle, const void* message, int length);
int LinkLineStatusByHandle(int handle, int selector);
int LinkPeerPresentByHandle(int handle);
int LinkCarrierDetectByHandle(int handle);
int LinkClearToSendByHandle(int handle);
int LinkRingIndicatorByHandle(int handle);
int LinkSetDtrByHandle(int handle, int mode);
int LinkSetRtsByHandle(int handle, int mode);
int LinkSetBreakByHandle(int handle, int mode);

// Clocks: 32-bit values wrap; measure intervals by unsigned subtraction.
// Milliseconds of the performance counter (of the tick count where there is none).
std::uint32_t LinkMilliseconds();
// Microseconds of the performance counter, not cut to 32 bits.
double LinkMicroseconds();
// LinkMicroseconds truncated to 32 bits: the time stamp of every record.
std::uint32_t LinkTimestamp();

// Debug output: nothing is written while no debug stream is set.
// Opens path (replacing it) as the debug stream, closing the file opened before; null sets none. No result.
void LinkSetDebugFile(const char* path);
// Makes an open stream (null: none) the debug stream; no result.
void LinkSetDebugStream(std::FILE* stream);
// printf-style text to the debug stream; no result.
void LinkDebugPrint(const char* format, ...) LINK_PRINTF_FORMAT(1, 2);

// Key/value lists kept for the application (not locked: callers on several threads serialise their calls).
// Stores key=value (or the bare key): 1, or 0 when the key is empty or the text would not fit 280 bytes.
int LinkSetValue(const char* key, const char* value);
// The text of the first entry that begins with key, after the key; null when none.
const char* LinkFindValue(const char* key);
// Removes the first entry that begins with key; null removes every entry.
void LinkDeleteValue(const char* key);
// Stores every line of a settings message (cut in place); the number of key=value lines.
int LinkParseSettings(void* message);
// The next key of the last settings message, in a buffer the next call overwrites; null when none.
const char* LinkNextChangedKey();
