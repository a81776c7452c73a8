// The link library's public interface: the connection record, its operations by object and by handle,
// the library's clocks, debug output and key/value lists.
#ifndef TAVIK_LINK_LINK_H
#define TAVIK_LINK_LINK_H

#include <cstdint>
#include <cstdio>

#if defined(__GNUC__)
#define LINK_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define LINK_PRINTF_FORMAT(fmt, args)
#endif

// Message frame: code (u8), subcode (u8), length (u16, payload + 8), payload, sequence (u32); little-endian.
constexpr int LinkHeaderSize = 8;           // code, subcode, length, and the trailing sequence number
constexpr int LinkMaxMessageLength = 1600;  // the longest message LinkSend accepts
constexpr int LinkReceiveBufferSize = 1608; // rxBuffer: the longest message a receive can hold
constexpr int LinkQueueSlots = 96;          // messages one receive queue holds
constexpr int LinkQueueSlotSize = 1600;     // storage block of one queue slot
constexpr int LinkRegistrySize = 16;        // registered objects at once
constexpr int LinkHandleCount = 8;          // handles 0 to 7
constexpr int LinkDefaultPort = 5510;       // default T port of a socket link
constexpr int LinkAnnounceCode = 237;       // server announcement
constexpr int LinkPokeCode = 239;           // client's request that the server accept

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
  ClassStream = 0,    // over TCP when connected, else as a datagram
  ClassDatagram = 1,  // as a datagram to udpPeer (any other nonzero value behaves the same)
  ClassLatest = 2,    // as a datagram; while connected a new message replaces a queued twin
  ClassBroadcast = 4, // as a broadcast datagram
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

// One link to one peer: one contiguous plain record with every buffer inline.
struct LinkConnection {
  std::int16_t kind;          // 1 socket link, 0 serial or modem link
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
  std::int16_t status;        // 0 not connected, else how it connected
  std::int16_t connectState;
  std::uint16_t runFlag;
  std::int16_t listenState;
  std::uint8_t classOf[256];  // MessageClass of every code
  LinkIpv4Address tcpPeer;
  LinkIpv4Address udpPeer;
  std::uint32_t connSocket;
  std::uint32_t connValid;
  LinkQueue queues[2];        // [0] stream, [1] datagram
  std::uint8_t rxBuffer[LinkReceiveBufferSize];
  std::uint32_t rxHave;
  std::int16_t shortFrames;
  std::int16_t lineWatch;
  std::int16_t parseState;
  std::int16_t comPort;       // 1-based; 0 port closed
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
};

// Objects: creation, registration and release.
LinkConnection* LinkCreate();
int LinkObjectSize();
LinkConnection* LinkInitBuffer(void* buffer, int size);
void LinkRelease(LinkConnection* link);
int LinkIsValid(LinkConnection* link);
int LinkIsInvalid(LinkConnection* link, int ignored);
void LinkSetClass(LinkConnection* link, int firstCode, int lastCode, int messageClass);
int LinkCleanup();
int LinkTraceEvent(LinkConnection* link, int code, std::uint32_t a, std::uint32_t b, std::uint32_t c);

// Connecting and disconnecting.
int LinkConnect(LinkConnection* link, const char* kind, const char* address, int portOrBaud, int flags);
int LinkDisconnect(LinkConnection* link);

// Messages and the receive queues.
void LinkFlush(LinkConnection* link);
int LinkPending(LinkConnection* link, int which);
int LinkQuery(LinkConnection* link, int question);
int LinkReceive(LinkConnection* link, int selector, void* buffer, int size);
int LinkBuildMessage(LinkConnection* link, void* buffer, int size, int code, int subcode, const void* payload,
                     int payloadLength);
int LinkMessageLength(LinkConnection* link, const void* message);
int LinkSend(LinkConnection* link, const void* message, int length);

// Line operations (serial links; socket links answer from their state).
int LinkPeerPresent(LinkConnection* link);
int LinkCarrierDetect(LinkConnection* link);
int LinkClearToSend(LinkConnection* link);
int LinkRingIndicator(LinkConnection* link);
int LinkSetDtr(LinkConnection* link, int mode);
int LinkSetRts(LinkConnection* link, int mode);
int LinkLineStatus(LinkConnection* link, int selector);
int LinkSetBreak(LinkConnection* link, int mode);
int LinkSetLineWatch(LinkConnection* link, int value);
// How the link is connected, read whole while its thread may change it: 0 not connected (also for an
// unregistered object), else how it connected (1 to 4).
int LinkStatus(LinkConnection* link);
void LinkSetSerialModes(LinkConnection* link, int shortFrames, int rawMode);
int LinkGetShortFrames(LinkConnection* link);
int LinkSerialMode(LinkConnection* link, int shortFrames, int baud);
void LinkReopenSerial(LinkConnection* link);
void LinkSerialErrors(LinkConnection* link, int* lastError, int* lineErrors, int* bytesWaiting);

// Handles: a table of 8 objects and the handle forms of the operations.
// LinkHandleSlot: mode 0 releases all eight and returns index; index outside 0..7 gives -1;
// mode > 0 fills an empty entry with LinkCreate and returns the entry's object address (0 when none);
// mode < 0 releases the entry's object and returns 0.
std::intptr_t LinkHandleSlot(int index, int mode);
LinkConnection* LinkFromHandle(int index);
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
std::uint32_t LinkMilliseconds();
double LinkMicroseconds();
std::uint32_t LinkTimestamp();

// Debug output: nothing is written while no debug stream is set.
void LinkSetDebugFile(const char* path);
void LinkSetDebugStream(std::FILE* stream);
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

#endif
