// Building and sending link messages: the sequence numbering of built messages, the routing of a message by
// its class (TCP, datagram, broadcast), the serial frame forms, and the restart of a link on send.
#include "link/link_events.h"
#include "link_locks.h"
#include "link_record.h"
#include "link_serial.h"
#include "link_shared.h"
#include "link_socket.h"
#include "link_wire.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

constexpr int LinkSendStallMs = 5000;

std::uint32_t SequenceAt(const std::uint8_t* m, int length) {
  return length >= LinkHeaderSize ? LinkGetU32(m + length - 4) : 0;
}

// Sends every byte on the link's stream socket: a non-blocking socket may take a message in pieces, and a
// message sent in part would break the framing of everything after it. The socket lock is held only for
// each non-blocking send, never while waiting for room, and the socket must stay the same throughout.
int SendAll(LinkConnection* link, const std::uint8_t* bytes, int count) {
  std::uint32_t& field = link->isServer ? link->connSocket : link->tcpSocket;
  LinkSocket first = 0;
  std::uint32_t start = LinkMilliseconds();
  while (count > 0) {
    LinkSocket s;
    int n, error = 0;
    {
      std::lock_guard<std::mutex> hold(LinkSocketLock());
      s = LinkLoad(field);
      if (s == 0 || (first != 0 && s != first)) return LinkErrNotConnected;
      first = s;
      n = LinkNetSend(s, bytes, count);
      if (n < 0) error = LinkNetLastError();
    }
    if (n >= 0) {
      bytes += n;
      count -= n;
      continue;
    }
    if (error != LinkErrWouldBlock || LinkMilliseconds() - start > LinkSendStallMs) return error;
    LinkNetSet writable;
    LinkNetSetClear(&writable);
    LinkNetSetAdd(&writable, s);
    LinkNetSelect(nullptr, &writable, 100000);
  }
  return 0;
}

// Full-traffic log of a sent message, only when the bytes its length field names were all given.
void LogSent(LinkConnection* link, int kind, const std::uint8_t* m, int length) {
  if (LinkGetU16(m + LinkOffsetLength) <= length) LinkLogMessage(link, LinkDirectionTransmit, kind, m);
}

int SendStream(LinkConnection* link, const std::uint8_t* m, int length) {
  bool server = link->isServer != 0;
  if (server && LinkLoad(link->listenState) < 0) return LinkErrNotConnected;
  int result = SendAll(link, m, length);
  LinkRecordEvent(link, LinkDirectionTransmit, LinkEventStreamSent, LinkGetU32(m), SequenceAt(m, length), LinkGetU32(m + 4));
  LogSent(link, server ? 12 : 11, m, length);
  return result;
}

// Under the socket lock: the datagram socket and where the message goes.
int SendDatagramLocked(LinkConnection* link, int messageClass, const std::uint8_t* m, int length) {
  LinkSocket s = LinkLoad(link->udpSocket);
  if (s == 0) return LinkErrNotSocket;
  LinkNetAddress peer = LinkAddressOf(link->udpPeer);
  if (messageClass == ClassBroadcast) {
    LinkNetSetBroadcast(s);
    std::uint8_t everyone[4];
    std::memcpy(everyone, link->hostAddress, 4);
    everyone[3] = 255;
    std::memcpy(&peer.address, everyone, 4);
    peer.port = static_cast<std::uint16_t>(link->uPort);
  }
  return LinkNetSendTo(s, m, length, peer) < 0 ? LinkNetLastError() : 0;
}

int SendDatagram(LinkConnection* link, int messageClass, const std::uint8_t* m, int length) {
  LinkNetAddress peer = LinkUdpPeer(link);
  char text[16];
  LinkNetAddressText(peer.address, text, sizeof text);
  LinkDebugPrint("%c sending to  %d %s\n", LinkRoleChar(link), peer.port, text);
  int result;
  {
    std::lock_guard<std::mutex> hold(LinkSocketLock());
    result = SendDatagramLocked(link, messageClass, m, length);
  }
  if (result == LinkErrNotSocket) return result;
  LinkRecordEvent(link, LinkDirectionTransmit, LinkEventDatagramSent, LinkGetU32(m), SequenceAt(m, length), LinkGetU32(m + 4));
  LogSent(link, link->isServer ? 14 : 13, m, length);
  return result;
}

// The two-byte command form: a command and its argument; code 128 carries a text after them.
int SendShortFrame(LinkConnection* link, const std::uint8_t* m, int length) {
  if (m[LinkOffsetCode] != 128) return LinkWriteSerial(link, m, 2);
  LinkWriteSerial(link, m, 2);
  if (LinkGetU16(m + LinkOffsetLength) <= 2) return 0;
  int count = std::min<int>(LinkGetU16(m + 6), std::max(length - LinkHeaderSize, 0));
  if (count == 0) return 0;
  LinkWriteSerial(link, m + 8, count);
  if (m[8 + count - 1] != 0) {
    static const std::uint8_t zero = 0;
    LinkWriteSerial(link, &zero, 1);
  }
  return 0;
}

} // namespace

int LinkBuildMessage(LinkConnection* link, void* buffer, int size, int code, int subcode, const void* payload,
                     int payloadLength) {
  if (!LinkIsValid(link) || buffer == nullptr || size <= 0) return 0;
  auto* m = static_cast<std::uint8_t*>(buffer);
  std::memset(m, 0, static_cast<size_t>(size));
  if (payloadLength < 0 || payloadLength > 0xFFFF - LinkHeaderSize || size < payloadLength + LinkHeaderSize) return 0;
  int total = payloadLength + LinkHeaderSize;
  m[LinkOffsetCode] = static_cast<std::uint8_t>(code);
  m[LinkOffsetSubcode] = static_cast<std::uint8_t>(subcode);
  LinkPutU16(m + LinkOffsetLength, static_cast<std::uint32_t>(total));
  if (payload != nullptr && payloadLength > 0) std::memcpy(m + LinkOffsetPayload, payload, static_cast<size_t>(payloadLength));
  std::uint32_t seq = link->classOf[m[LinkOffsetCode]] != 0 ? ++link->datagramSeq : ++link->streamSeq;
  LinkPutU32(m + LinkOffsetPayload + payloadLength, seq);
  return total;
}

int LinkMessageLength(LinkConnection*, const void* message) {
  return message != nullptr ? LinkGetU16(static_cast<const std::uint8_t*>(message) + LinkOffsetLength) : 0;
}

int LinkSend(LinkConnection* link, const void* message, int length) {
  if (!LinkIsValid(link)) return 0;
  if (message == nullptr) return LinkErrorNoLength;
  const auto* m = static_cast<const std::uint8_t*>(message);
  if (length == 0) length = LinkGetU16(m + LinkOffsetLength);
  if (length > LinkMaxMessageLength || length < 0) return LinkErrorTooLong;
  if (link->kind == LinkKindSocket) {
    if (m[LinkOffsetCode] < 128) return LinkErrorLowCode;
    if (LinkGetU16(m + LinkOffsetLength) == 0) return LinkErrorNoLength;
    return LinkSendSocket(link, m, length);
  }
  if (link->shortFrames != 0 && link->rawMode == 0) return SendShortFrame(link, m, length);
  return LinkWriteSerial(link, m, length);
}

int LinkSendSocket(LinkConnection* link, const void* message, int length) {
  if (!LinkIsValid(link)) return 1;
  const auto* m = static_cast<const std::uint8_t*>(message);
  int messageClass = link->classOf[m[LinkOffsetCode]];
  if (LinkLoad(link->status) == 0) {
    LinkDebugPrint("%c sending message to unconnected port\n", LinkRoleChar(link));
    std::int16_t listen = LinkLoad(link->listenState);
    LinkRecordEvent(link, LinkDirectionReceive, LinkEventSendUnconnected, static_cast<std::uint32_t>(messageClass), link->isServer,
                    static_cast<std::uint32_t>(listen));
    if (link->isServer && listen >= 0) LinkRestart(link, 0);
  }
  if (messageClass == ClassStream && LinkLoad(link->status) != 0) return SendStream(link, m, length);
  return SendDatagram(link, messageClass, m, length);
}

int LinkRestart(LinkConnection* link, int mode) {
  if (!LinkIsValid(link)) return 1;
  LinkRecordEvent(link, LinkDirectionReceive, LinkEventSocketRestart, static_cast<std::uint32_t>(LinkLoad(link->status)),
                  LinkLoad(link->threadRunning), LinkLoad(link->connSocket));
  int step = mode == 0 ? 0 : mode % 10 + 1;
  if (step < 2) {
    int closed = LinkCloseSocket(link);
    if (closed != 0) return closed;
  }
  int result = 0;
  if (LinkLoad(link->threadRunning) == 0) {
    char peer[sizeof link->peerName];
    std::memcpy(peer, link->peerName, sizeof peer);
    peer[sizeof peer - 1] = '\0';
    result = LinkOpenSocket(link, peer, static_cast<int>(link->tPort), static_cast<int>(link->uPort));
  }
  if (result == 0 && step != 0 && !link->isServer && LinkLoad(link->status) == 0 && link->classOf[LinkPokeCode] != 0) {
    std::uint8_t poke[400];
    result = LinkBuildMessage(link, poke, sizeof poke, LinkPokeCode, 0, nullptr, 0) != 0 ? LinkSend(link, poke, 0) : 2;
  }
  return result;
}

int LinkBuildMessageByHandle(int handle, void* buffer, int size, int code, int subcode, const void* payload,
                             int payloadLength) {
  return LinkBuildMessage(LinkFromHandle(handle), buffer, size, code, subcode, payload, payloadLength);
}
int LinkMessageLengthByHandle(int handle, const void* message) {
  return LinkMessageLength(LinkFromHandle(handle), message);
}
int LinkSendByHandle(int handle, const void* message, int length) {
  return LinkSend(LinkFromHandle(handle), message, length);
}
