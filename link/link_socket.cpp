// The socket transport: opening a socket link (the sockets created under a time-out, the link thread
// started), sending a message by its class, restarting, closing, and the line operations, which a socket
// link answers from its connection state. The link threads themselves are in link_socket_threads.cpp.
#include "link_socket.h"

#include "link/link_events.h"
#include "link_queue.h"
#include "link_record.h"
#include "link_shared.h"
#include "link_socket_threads.h"
#include "link_transport.h"
#include "link_wire.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr int LinkSocketTimeoutMs = 5000;
constexpr int LinkFirstListenWaitMs = 5000;
constexpr int LinkLaterListenWaitMs = 1000;
constexpr int LinkErrorNoIpv4 = 11004;  // the name exists but has no IPv4 address
constexpr int LinkSendStallMs = 5000;
constexpr std::uint32_t CloseWaitMs = 600;

void Record(LinkConnection* link, int code, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  LinkRecordEvent(link, LinkDirectionReceive, code, a, b, c);
}

// ---- opening ----

// Shared between LinkTrySocket and its socket thread; whichever finishes last frees it.
struct TryBlock {
  std::mutex lock;
  int busy = 1;
  bool abandoned = false;
  LinkSocket result = LinkNetInvalid;
};

void TrySocketThread(std::shared_ptr<TryBlock> block, int type) {
  {
    std::lock_guard<std::mutex> hold(block->lock);
    block->busy = 2;
  }
  LinkSocket s = LinkNetSocket(type);
  std::lock_guard<std::mutex> hold(block->lock);
  if (block->abandoned) {
    if (s != LinkNetInvalid) LinkNetClose(s);
  } else {
    block->result = s;
  }
  block->busy = 0;
}

int Busy(TryBlock& block) {
  std::lock_guard<std::mutex> hold(block.lock);
  return block.busy;
}

void LookUpOwnHost(LinkConnection* link) {
  if (LinkNetHostName(link->hostName, sizeof link->hostName) != 0) return;
  std::uint32_t address;
  int found = 0;
  if (LinkNetResolve(link->hostName, &address, 1, &found) == 0 && found > 0)
    std::memcpy(link->hostAddress, &address, sizeof link->hostAddress);
}

void CopyPeerName(LinkConnection* link, const char* text) {
  if (text == link->peerName) return;
  std::strncpy(link->peerName, text, sizeof link->peerName - 1);
  link->peerName[sizeof link->peerName - 1] = '\0';
}

int Fail(LinkConnection* link, int step, int result) {
  Record(link, LinkEventConnectStep, static_cast<std::uint32_t>(step), link->isServer, 0);
  LinkCloseRecords(link);
  return result;
}

LinkNetAddress AnyAddress(int port) { return LinkNetAddress{0, static_cast<std::uint16_t>(port)}; }

int OpenUdp(LinkConnection* link, int uPort) {
  LinkSocket s = LinkTrySocket(LinkNetDatagram);
  if (s == LinkNetInvalid) return Fail(link, 2, LinkErrorUdpSocket);
  LinkStore(link->udpSocket, s);
  LinkNetSetReuseAddress(s);
  if (LinkNetBind(s, AnyAddress(link->isServer ? uPort + 1 : uPort)) != 0) return Fail(link, 3, LinkErrorUdpBind);
  return 0;
}

int OpenTcp(LinkConnection* link, int tPort) {
  LinkSocket s = LinkTrySocket(LinkNetStream);
  if (s == LinkNetInvalid) return Fail(link, 4, LinkErrorTcpSocket);
  LinkStore(link->tcpSocket, s);
  Record(link, LinkEventSocketTaken, 9, link->isServer, s);
  LinkNetSetReuseAddress(s);
  LinkNetSetNoDelay(s);
  if (!link->isServer) return 0;
  if (LinkNetBind(s, AnyAddress(tPort)) != 0) return Fail(link, 5, LinkErrorTcpBind);
  LinkNetAddress bound;
  if (LinkNetLocalAddress(s, &bound) == 0) link->tcpPeer = LinkIpv4Of(bound);
  return 0;
}

bool StartThread(LinkConnection* link) {
  try {
    auto* thread = new std::thread(link->isServer ? LinkServerThread : LinkClientThread, link);
    link->threadId = static_cast<std::uint32_t>(std::hash<std::thread::id>{}(thread->get_id()));
    link->thread = reinterpret_cast<LinkThreadHandle>(thread);
    return true;
  } catch (...) {
    return false;
  }
}

// The server's thread reports through listenState: starting (set here), inside listen, listening.
int AwaitListening(LinkConnection* link) {
  std::this_thread::yield();
  std::uint32_t limit = link->openedBefore ? LinkLaterListenWaitMs : LinkFirstListenWaitMs;
  link->openedBefore = 1;
  std::uint32_t start = LinkMilliseconds();
  while (LinkLoad(link->listenState) != LinkListening && LinkMilliseconds() - start < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // Give up only if the thread has not got there meanwhile.
  std::int16_t seen = LinkLoad(link->listenState);
  while (seen != LinkListening &&
         !LinkAtomic(link->listenState).compare_exchange_weak(seen, static_cast<std::int16_t>(LinkListenAbandoned))) {
  }
  return seen == LinkListening ? 0 : LinkErrorNotListening;
}

int StartLinkThread(LinkConnection* link) {
  LinkDebugPrint("%c thread started\n", LinkRoleChar(link));
  LinkStore(link->runFlag, 1);
  LinkStore(link->connectError, 0);
  if (link->isServer) LinkStore(link->listenState, LinkListenStarting);
  if (!StartThread(link)) {
    LinkStore(link->runFlag, 0);
    return Fail(link, 8, LinkErrorNoThread);
  }
  return link->isServer ? AwaitListening(link) : 0;
}

int OpenSocketLink(LinkConnection* link, const char* address, int tPort) {
  link->kind = LinkKindSocket;
  return LinkOpenSocket(link, address, tPort, 0);
}

void CloseEarlierSocketLink(LinkConnection* link) {
  if (link->thread != 0 || LinkLoad(link->tcpSocket) != 0 || LinkLoad(link->udpSocket) != 0) LinkCloseSocket(link);
}

// ---- sending ----

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
  LinkRecordEvent(link, LinkDirectionTransmit, LinkEventStreamSent, LinkGetU32(m), SequenceAt(m, length),
                  LinkGetU32(m + 4));
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
  LinkRecordEvent(link, LinkDirectionTransmit, LinkEventDatagramSent, LinkGetU32(m), SequenceAt(m, length),
                  LinkGetU32(m + 4));
  LogSent(link, link->isServer ? 14 : 13, m, length);
  return result;
}

// Socket links carry only codes of 128 and above, and only messages whose length field is set.
int SendSocketMessage(LinkConnection* link, const std::uint8_t* m, int length) {
  if (m[LinkOffsetCode] < 128) return LinkErrorLowCode;
  if (LinkGetU16(m + LinkOffsetLength) == 0) return LinkErrorNoLength;
  return LinkSendSocket(link, m, length);
}

// ---- closing and flushing ----

void JoinThread(LinkConnection* link) {
  auto* thread = reinterpret_cast<std::thread*>(link->thread);
  link->thread = 0;
  if (thread == nullptr) return;
  if (thread->joinable()) thread->join();
  delete thread;
}

void FlushSocketLink(LinkConnection* link) {
  LinkStore(link->rxHave, 0);
  LinkClearQueues(link);
}

// ---- the line operations, answered from the connection state ----

int ConnectionStatus(LinkConnection* link) { return LinkLoad(link->status); }
int ConnectionStatusForMode(LinkConnection* link, int) { return LinkLoad(link->status); }

int SocketLineStatus(LinkConnection* link, int) {
  int listen = LinkLoad(link->listenState);
  return listen != LinkListening ? listen - 10 : static_cast<int>(LinkLoad(link->connValid));
}

}  // namespace

const LinkTransport LinkSocketTransport = {
    OpenSocketLink,           // open
    CloseEarlierSocketLink,   // closeEarlier
    LinkCloseSocket,          // close
    SendSocketMessage,        // send
    nullptr,                  // poll: the link thread receives
    nullptr,                  // takeRaw: messages only
    nullptr,                  // rawPending
    FlushSocketLink,          // flush
    ConnectionStatus,         // peerPresent
    ConnectionStatus,         // carrierDetect
    ConnectionStatus,         // clearToSend
    nullptr,                  // ringIndicator
    ConnectionStatusForMode,  // setDtr
    nullptr,                  // setRts
    nullptr,                  // setBreak
    SocketLineStatus,         // lineStatus
    nullptr,                  // shortFrames
    nullptr,                  // switchForm
    nullptr,                  // reopen
    nullptr,                  // errors
};

LinkSocket LinkTrySocket(int type) {
  auto block = std::make_shared<TryBlock>();
  try {
    std::thread(TrySocketThread, block, type).detach();
  } catch (...) {
    return LinkNetInvalid;
  }
  std::uint32_t start = LinkMilliseconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  while (LinkMilliseconds() - start < static_cast<std::uint32_t>(LinkSocketTimeoutMs) && Busy(*block) != 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::lock_guard<std::mutex> hold(block->lock);
  if (block->busy != 0) {
    // The socket thread cannot be stopped safely; it is abandoned and closes its socket itself.
    LinkDebugPrint("Trysocket timeout %d\n", type);
    block->abandoned = true;
    return LinkNetInvalid;
  }
  return block->result;
}

int LinkOpenSocket(LinkConnection* link, const char* address, int tPort, int uPort) {
  CloseEarlierSocketLink(link);
  LookUpOwnHost(link);
  LinkOpenRecord(link, LinkDirectionReceive, link->isServer ? "SRX" : "CRX");
  LinkOpenRecord(link, LinkDirectionTransmit, link->isServer ? "STX" : "CTX");
  LinkDebugPrint("%c connect request\n", LinkRoleChar(link));
  if (tPort == 0) tPort = LinkDefaultPort;
  if (uPort == 0) uPort = tPort;
  link->tPort = static_cast<std::uint32_t>(tPort);
  link->uPort = static_cast<std::uint32_t>(uPort);
  const char* text = link->localOnly ? "127.0.0.1" : (address != nullptr ? address : "");
  LinkDebugPrint("Connect data T%d U%d %s\n", tPort, uPort, text);

  std::uint32_t peer = 0;
  int found = 0;
  int resolved = LinkNetResolve(text, &peer, 1, &found);
  CopyPeerName(link, text);
  if (resolved == 0 && found == 0) resolved = LinkErrorNoIpv4;
  if (resolved != 0) return Fail(link, 1, resolved);
  // Both ports of the plan (T, T + 1, U, U + 1) must be real port numbers.
  if (tPort < 0 || tPort > 65534 || uPort < 0 || uPort > 65534) return Fail(link, 3, LinkErrorUdpBind);
  bool server = link->isServer != 0;
  link->tcpPeer = LinkIpv4Of(LinkNetAddress{peer, static_cast<std::uint16_t>(server ? tPort + 1 : tPort)});
  {
    std::lock_guard<std::mutex> hold(LinkSocketLock());
    link->udpPeer = LinkIpv4Of(LinkNetAddress{peer, static_cast<std::uint16_t>(server ? tPort : tPort + 1)});
  }
  int result = OpenUdp(link, uPort);
  if (result == 0) result = OpenTcp(link, tPort);
  if (result == 0) result = StartLinkThread(link);
  return result;
}

int LinkSendSocket(LinkConnection* link, const void* message, int length) {
  if (!LinkIsValid(link)) return 1;
  const auto* m = static_cast<const std::uint8_t*>(message);
  int messageClass = link->classOf[m[LinkOffsetCode]];
  if (LinkLoad(link->status) == 0) {
    LinkDebugPrint("%c sending message to unconnected port\n", LinkRoleChar(link));
    std::int16_t listen = LinkLoad(link->listenState);
    Record(link, LinkEventSendUnconnected, static_cast<std::uint32_t>(messageClass), link->isServer,
           static_cast<std::uint32_t>(listen));
    if (link->isServer && listen >= 0) LinkRestart(link, 0);
  }
  if (messageClass == ClassStream && LinkLoad(link->status) != 0) return SendStream(link, m, length);
  return SendDatagram(link, messageClass, m, length);
}

int LinkRestart(LinkConnection* link, int mode) {
  if (!LinkIsValid(link)) return 1;
  Record(link, LinkEventSocketRestart, static_cast<std::uint32_t>(LinkLoad(link->status)),
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

int LinkCloseSocket(LinkConnection* link) {
  if (!LinkIsValid(link)) return 1;
  Record(link, LinkEventSocketDisconnect, static_cast<std::uint32_t>(LinkLoad(link->status)),
         LinkLoad(link->threadRunning), LinkLoad(link->connSocket));
  LinkStore(link->runFlag, 0);
  std::uint32_t start = LinkMilliseconds();
  while (LinkLoad(link->threadRunning) != 0 && LinkMilliseconds() - start < CloseWaitMs)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  LinkDebugPrint("%c disconnect (%d)\n", LinkRoleChar(link), static_cast<int>(LinkLoad(link->threadRunning)));
  // The thread waits only in bounded calls, so joining ends within one of them; its memory is never
  // released while it runs.
  JoinThread(link);
  LinkStore(link->threadRunning, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  LinkSocket tcp = LinkLoad(link->tcpSocket);
  LinkCloseSocketField(link->tcpSocket);
  Record(link, LinkEventTcpSocketClosed, 6, link->isServer, tcp);
  LinkCloseSocketField(link->udpSocket);
  Record(link, LinkEventConnectionClosed, 5, link->isServer, LinkLoad(link->connSocket));
  LinkCloseSocketField(link->connSocket);
  LinkStore(link->connValid, 0);
  LinkCloseRecords(link);
  return 0;
}
