// Connection requests: LinkConnect hands serial and modem requests to the serial link and opens ethernet
// requests here, creating the sockets under a time-out and starting the link thread.
#include "link/link_events.h"
#include "link_record.h"
#include "link_serial.h"
#include "link_shared.h"
#include "link_socket.h"

#include <cctype>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr int LinkSocketTimeoutMs = 5000;
constexpr int LinkFirstListenWaitMs = 5000;
constexpr int LinkLaterListenWaitMs = 1000;
constexpr int LinkErrorNoIpv4 = 11004; // the name exists but has no IPv4 address

bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; a++, b++)
    if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

// A link still holding sockets, a thread or a port from an earlier open is closed before the object opens
// again, so that no second thread ever runs on one record and no socket or port is left behind open.
void EndEarlierLink(LinkConnection* link) {
  if (link->kind == LinkKindSocket && (link->thread != 0 || LinkLoad(link->tcpSocket) != 0 || LinkLoad(link->udpSocket) != 0))
    LinkCloseSocket(link);
  else if (link->kind == LinkKindSerial && link->comPort != 0)
    LinkCloseSerial(link);
}

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
  LinkRecordEvent(link, LinkDirectionReceive, LinkEventConnectStep, static_cast<std::uint32_t>(step), link->isServer, 0);
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
  LinkRecordEvent(link, LinkDirectionReceive, LinkEventSocketTaken, 9, link->isServer, s);
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
  while (seen != LinkListening && !LinkAtomic(link->listenState).compare_exchange_weak(seen, LinkListenAbandoned)) {
  }
  return seen == LinkListening ? 0 : LinkErrorNotListening;
}

int StartLinkThread(LinkConnection* link) {
  LinkDebugPrint("%c thread started\n", LinkRoleChar(link));
  LinkStore(link->runFlag, 1);
  if (link->isServer) LinkStore(link->listenState, LinkListenStarting);
  if (!StartThread(link)) {
    LinkStore(link->runFlag, 0);
    return Fail(link, 8, LinkErrorNoThread);
  }
  return link->isServer ? AwaitListening(link) : 0;
}

} // namespace

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
  EndEarlierLink(link);
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

int LinkConnect(LinkConnection* link, const char* kind, const char* address, int portOrBaud, int flags) {
  if (!LinkIsValid(link)) return 0;
  if (kind == nullptr) kind = "";
  if (address == nullptr) address = "";
  EndEarlierLink(link);
  link->comPort = 0;
  char work[41];
  std::strncpy(work, address, 40);
  work[40] = '\0';
  for (char* c = work; *c; c++) *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  link->isServer = flags & LinkFlagServer ? 1 : 0;
  link->localOnly = flags & LinkFlagLocalOnly ? 1 : 0;
  link->noAnnounce = flags & LinkFlagNoAnnounce ? 1 : 0;
  link->datagramOnly = flags & LinkFlagDatagramOnly ? 1 : 0;
  if (EqualsIgnoringCase(address, "127.0.0.1")) link->localOnly = 1;
  if (EqualsIgnoringCase(kind, "serial") || EqualsIgnoringCase(kind, "modem")) {
    link->kind = LinkKindSerial;
    link->lineWatch = 0;
    link->announceCount = 1;
    return LinkOpenSerial(link, work, portOrBaud);
  }
  if (std::strncmp(kind, "ethernet", 8) != 0) return LinkErrorUnknownKind;
  link->kind = LinkKindSocket;
  return LinkOpenSocket(link, address, portOrBaud, 0);
}

int LinkConnectByHandle(int handle, const char* kind, const char* address, int portOrBaud, int flags) {
  return LinkConnect(LinkFromHandle(handle), kind, address, portOrBaud, flags);
}
