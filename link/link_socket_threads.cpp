// The link threads of socket links. A client connects with a non-blocking connect and reconnects after a
// loss; a server listens, accepts and announces itself while nobody is connected. Both wait only in a
// half-second select, so they notice a stop request within that time and stop by themselves.
#include "link_socket_threads.h"

#include "link/link_events.h"
#include "link_announcements.h"
#include "link_locks.h"
#include "link_queue.h"
#include "link_record.h"
#include "link_shared.h"
#include "link_socket_fields.h"
#include "link_wire.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr int SelectWaitUs = 500000;
constexpr std::uint32_t SelectWaitMs = SelectWaitUs / 1000;
// How often a client looks whether the answers its waiting announcements wait for have come.
constexpr std::uint32_t AnswerLookInMs = 50;
constexpr int AnnouncementSize = 72;
constexpr int AnnouncementsAtFirstPace = 20;
constexpr std::uint32_t FirstAnnouncePaceMs = 1000;
constexpr std::uint32_t LaterAnnouncePaceMs = 5000;

void Record(LinkConnection* link, int code, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  LinkRecordEvent(link, LinkDirectionReceive, code, a, b, c);
}

std::uint32_t AsWord(int value) { return static_cast<std::uint32_t>(value); }

void AddressText(LinkNetAddress a, char (&text)[16]) { LinkNetAddressText(a.address, text, sizeof text); }

// Common start of both threads: report the local ends of the sockets, then announce the thread running.
void ThreadStart(LinkConnection* link, bool server) {
  LinkNetAddress tcp{0, 0}, udp{0, 0};
  LinkNetLocalAddress(LinkLoad(link->tcpSocket), &tcp);
  LinkNetLocalAddress(LinkLoad(link->udpSocket), &udp);
  char tcpText[16], udpText[16];
  AddressText(tcp, tcpText);
  AddressText(udp, udpText);
  LinkDebugPrint(server ? "Slave tcp socket: %d %s\n" : "Client tcp socket: %d %s\n", tcp.port, tcpText);
  LinkDebugPrint(server ? "Slave udp socket: %d %s\n" : "Client udp socket: %d %s\n", udp.port, udpText);
  char text[64];
  std::snprintf(text, sizeof text, "%d %.40s", udp.port, udpText);
  LinkRecordText(link, LinkDirectionReceive, server ? LinkEventServerStarted : LinkEventClientStarted, text);
  LinkStore(link->threadRunning, 1);
}

// A select that fails returns at once, and so does one over a listening socket whose listen failed (a
// bound socket that does not listen reads as hung up); both states can last (the network down, a socket
// library shut down under the link, the port taken by another listener). After such a failure the thread
// lets the rest of the select's time-out pass before it tries again, so that it never spins, and still
// sees a stop request within that time.
void WaitOutFailedPass(LinkConnection* link, std::uint32_t selectStart) {
  while (LinkLoad(link->runFlag) != 0 && LinkMilliseconds() - selectStart < SelectWaitMs)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void TraceAndRecord(LinkConnection* link, int result, const LinkNetSet* read, const LinkNetSet* write, bool writeUsed,
                    const char* label, int code) {
  LinkTraceSelect(link, result, writeUsed, read, write, label);
  LinkRecordSelect(link, code, read, write, writeUsed);
}

// What select left in a set: the sockets it reported ready.
LinkNetSet ReadyOnly(const LinkNetSet& set) {
  LinkNetSet ready;
  LinkNetSetClear(&ready);
  for (int i = 0; i < set.count; i++)
    if (set.ready[i]) LinkNetSetAdd(&ready, set.socket[i]);
  return ready;
}

int SelectMask(LinkConnection* link, const LinkNetSet* set) {
  int mask = 0;
  LinkSocket conn = LinkLoad(link->connSocket);
  if (conn != 0 && LinkNetSetHas(set, conn)) mask |= 1;
  if (LinkNetSetHas(set, LinkLoad(link->tcpSocket))) mask |= 16;
  if (LinkNetSetHas(set, LinkLoad(link->udpSocket))) mask |= 256;
  return mask;
}

// ---- client ----

struct ClientPass {
  bool quiet = true;   // after a select time-out, or a datagram that came while not connected
  int lastResult = 0;  // result of the last socket call of this pass
};

// Keeps what a failed connect says about the peer for LinkConnectError; the answers of an attempt that is
// still in progress say nothing about it.
void KeepConnectError(LinkConnection* link, int error) {
  if (error != 0 && error != LinkErrWouldBlock && error != LinkErrAlready && error != LinkErrInvalid &&
      error != LinkErrIsConnected)
    LinkStore(link->connectError, error);
}

// Why a connect on `s` failed. Wine answers a connect repeated after a refusal with "aborted" and keeps the
// refusal as the socket's pending error; the peer's answer is that one.
int ConnectFailure(LinkSocket s) {
  const int error = LinkNetLastError();
  if (error != LinkErrConnAborted) return error;
  const int pending = LinkNetPendingError(s);
  return pending != 0 ? pending : error;
}

void ClientConnected(LinkConnection* link, int how, int state) {
  LinkStore(link->connectError, 0);
  LinkStore(link->connValid, 1);
  LinkStore(link->connectState, state);
  LinkStore(link->status, how);
  LinkNetAddress peer = LinkUdpPeer(link);
  char text[16];
  AddressText(peer, text);
  LinkDebugPrint("C Immediate connect %d %s\n", peer.port, text);
  Record(link, LinkEventClientConnected, 0, 0, 0);
}

// Connect attempt at the top of a quiet pass; true when the pass is to start again at once.
bool ConnectAtTop(LinkConnection* link, ClientPass& pass) {
  LinkSocket tcp = LinkLoad(link->tcpSocket);
  int rc = LinkNetConnect(tcp, LinkAddressOf(link->tcpPeer));
  pass.lastResult = rc;
  if (rc == 0) {
    ClientConnected(link, LinkStatusAtOnce, LinkConnectStateAtOnce);
    return false;
  }
  int error = ConnectFailure(tcp);
  KeepConnectError(link, error);
  if (error == LinkErrIsConnected) {
    LinkStore(link->connectError, 0);
    LinkStore(link->status, LinkStatusAlready);
    LinkStore(link->connectState, LinkConnectStateAlready);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Record(link, LinkEventClientAlreadyConnected, LinkErrIsConnected, LinkStatusAlready, 0);
    return true;
  }
  if (error != LinkErrWouldBlock && error != LinkErrInvalid) {
    LinkDebugPrint("C bad response from connect: %d\n", error);
    Record(link, LinkEventClientConnectError, AsWord(error), 0, 0);
  }
  LinkStore(link->connectState, LinkConnectStatePending);
  LinkDebugPrint("C awaiting accept after connect\n");
  Record(link, LinkEventClientConnectPending, 0, 0, 0);
  return false;
}

void ConnectAfterQuiet(LinkConnection* link) {
  int rc = LinkNetConnect(LinkLoad(link->tcpSocket), LinkAddressOf(link->tcpPeer));
  if (rc == 0) {
    LinkStore(link->connSocket, 0);
    Record(link, LinkEventConnectedAfterQuiet, 7, link->isServer, 0);
    ClientConnected(link, LinkStatusAtOnce, LinkConnectStateAfterQuiet);
    return;
  }
  int error = ConnectFailure(LinkLoad(link->tcpSocket));
  KeepConnectError(link, error);
  LinkStore(link->connectState, LinkConnectStateQuietFailed);
  Record(link, LinkEventClientQuietConnectFailed, AsWord(error), 0, 0);
}

// After a lost connection the client keeps its UDP socket and starts again with a fresh TCP socket.
bool ReplaceTcpSocket(LinkConnection* link) {
  LinkCloseSocketField(link->tcpSocket);
  LinkSocket s = LinkNetSocket(LinkNetStream);
  if (s == LinkNetInvalid) {
    Record(link, LinkEventSocketTaken, 8, link->isServer, 0);
    LinkCloseRecords(link);
    return false;
  }
  LinkStore(link->tcpSocket, s);
  Record(link, LinkEventConnectStep, 4, link->isServer, s);
  LinkNetSetNonBlocking(s);
  LinkNetSetReuseAddress(s);
  LinkNetSetNoDelay(s);
  return true;
}

// False when the thread must end (the TCP socket could not be replaced).
bool ClientTcpReceive(LinkConnection* link, ClientPass& pass) {
  std::uint32_t have = LinkLoad(link->rxHave);
  int n =
      LinkNetReceive(LinkLoad(link->tcpSocket), link->rxBuffer + have, LinkReceiveBufferSize - static_cast<int>(have));
  pass.lastResult = n;
  LinkDebugPrint("C tcp receive : %d\n", n);
  Record(link, LinkEventClientTcpReceived, AsWord(n), 0, 0);
  if (n > 0) {
    LinkDebugPrint("C tcp message received\n");
    LinkReassembleStream(link, have, n);
    return true;
  }
  if (n < 0 && LinkNetLastError() == LinkErrWouldBlock) return true;
  if (LinkLoad(link->status) != 0) LinkStore(link->connectState, LinkConnectStateLost);
  LinkStore(link->status, 0);
  LinkStore(link->connValid, 0);
  LinkStore(link->rxHave, 0);
  Record(link, LinkEventClientConnectionLost, AsWord(n), 0, 0);
  return ReplaceTcpSocket(link);
}

void ClientDatagram(LinkConnection* link, LinkAnnouncementReader& announcements, const std::uint8_t* message, int n) {
  bool connected = LinkLoad(link->status) != 0;
  int code = message[LinkOffsetCode];
  if (code == LinkPokeCode) {
    if (!connected) LinkStore(link->connectState, LinkConnectStateAgain);
  } else if (code == LinkAnnounceCode) {
    if (!connected && !link->noAnnounce) announcements.Take(link, message, n);
  } else {
    LinkEnqueueMessage(link, message, n, LinkDatagramQueue, "udpsocket");
  }
}

// False when the datagram was empty: the next pass starts at once.
bool ClientUdpReceive(LinkConnection* link, ClientPass& pass, LinkAnnouncementReader& announcements) {
  LinkDebugPrint("C udp message received\n");
  std::uint8_t message[LinkReceiveBufferSize];
  int n = LinkNetReceiveFrom(LinkLoad(link->udpSocket), message, sizeof message);
  pass.lastResult = n;
  Record(link, LinkEventClientUdpReceived, AsWord(n), 0, 0);
  if (n < 0) return true;
  if (n == 0) return false;
  ClientDatagram(link, announcements, message, n);
  if (LinkLoad(link->status) == 0) pass.quiet = true;
  return true;
}

// Writable while connecting means connected; a connect that failed in the background leaves an error, and
// a socket whose failed connect was already reported is writable without a peer.
void ClientWritable(LinkConnection* link, const ClientPass& pass) {
  LinkSocket tcp = LinkLoad(link->tcpSocket);
  int error = LinkNetPendingError(tcp);
  KeepConnectError(link, error);
  if (error != 0 || !LinkNetHasPeer(tcp)) return;
  LinkDebugPrint("C tcp writeable (must be client)\n");
  LinkStore(link->connectError, 0);
  LinkStore(link->connValid, 2);
  LinkStore(link->connectState, LinkConnectStateWritable);
  LinkStore(link->status, LinkStatusWritable);
  Record(link, LinkEventClientWritable, AsWord(pass.lastResult), 0, 0);
}

// The client pass's select. While announcements wait it also wakes every AnswerLookInMs to decide those
// whose answer came, yet it ends only at activity or after the whole wait, so that the connect attempts
// keep their pace of one per quiet half second.
int ClientSelect(LinkConnection* link, LinkAnnouncementReader& announcements, LinkNetSet* read, LinkNetSet* write) {
  std::uint32_t start = LinkMilliseconds();
  for (;;) {
    announcements.DecideWaiting(link, false);
    std::uint32_t left = SelectWaitMs - std::min(LinkMilliseconds() - start, SelectWaitMs);
    bool lookIn = announcements.Waiting() && left > AnswerLookInMs;
    int rc = LinkNetSelect(read, write, static_cast<int>(lookIn ? AnswerLookInMs : left) * 1000);
    if (rc != 0 || !lookIn || LinkLoad(link->runFlag) == 0) return rc;
  }
}

bool WantsConnect(LinkConnection* link) {
  return !link->datagramOnly && LinkLoad(link->status) == 0 && LinkLoad(link->connectState) > 0;
}

// ---- server ----

void ListenOn(LinkConnection* link, int state) {
  LinkStore(link->listenState, state);
  int rc = LinkNetListen(LinkLoad(link->tcpSocket));
  LinkStore(link->listenState, LinkListening);
  if (rc != 0 && state == LinkListenInside) {
    LinkDebugPrint("S listen error: %d\n", LinkNetLastError());
    Record(link, LinkEventServerListenError, AsWord(LinkNetLastError()), 0, 0);
  }
}

void ServerDropConnection(LinkConnection* link) {
  LinkStore(link->connValid, 0);
  LinkCloseSocketField(link->connSocket);
  LinkStore(link->rxHave, 0);
  LinkStore(link->status, 0);
}

void ServerSelectError(LinkConnection* link) {
  int error = LinkNetLastError();
  if (error == LinkErrNetDown) return;
  LinkDebugPrint("S error : %d\n", error);
  Record(link, LinkEventServerSelectError, AsWord(error), 0, 0);
  LinkSocket conn = LinkLoad(link->connSocket);
  if (conn == 0) return;
  bool wasConnected = LinkLoad(link->status) != 0;
  ServerDropConnection(link);
  Record(link, LinkEventConnectionClosed, 1, link->isServer, conn);
  if (wasConnected) LinkStore(link->connectState, LinkConnectStateDropped);
}

void BuildAnnouncement(LinkConnection* link, std::uint8_t* a) {
  std::memset(a, 0, AnnouncementSize);
  a[LinkOffsetCode] = LinkAnnounceCode;
  LinkPutU16(a + LinkOffsetLength, AnnouncementSize);
  std::memcpy(a + LinkAnnouncementNameOffset, link->hostName, strnlen(link->hostName, LinkAnnouncementNameSize));
}

void MaybeAnnounce(LinkConnection* link, std::uint8_t* announcement) {
  if (LinkLoad(link->status) != 0 || link->noAnnounce) return;
  std::uint32_t pace = link->announceCount >= AnnouncementsAtFirstPace ? LaterAnnouncePaceMs : FirstAnnouncePaceMs;
  std::uint32_t now = LinkMilliseconds();
  if (now - link->lastAnnounce <= pace) return;
  if (link->announceCount < AnnouncementsAtFirstPace) link->announceCount++;
  link->lastAnnounce = now;
  if (announcement[LinkOffsetCode] != LinkAnnounceCode || announcement[3] != 0 ||
      announcement[LinkAnnouncementNameOffset] == 0)
    BuildAnnouncement(link, announcement);
  announcement[LinkOffsetSubcode]++;
  LinkNetSendTo(LinkLoad(link->udpSocket), announcement, AnnouncementSize, LinkUdpPeer(link));
  LinkRecordEvent(link, LinkDirectionTransmit, LinkEventAnnouncementSent, LinkGetU32(announcement), 0,
                  LinkGetU32(announcement + 4));
}

void ServerTcpReceive(LinkConnection* link) {
  LinkSocket conn = LinkLoad(link->connSocket);
  std::uint32_t have = LinkLoad(link->rxHave);
  int n = LinkNetReceive(conn, link->rxBuffer + have, LinkReceiveBufferSize - static_cast<int>(have));
  if (n > 0) {
    LinkDebugPrint("S tcp message received\n");
    Record(link, LinkEventServerTcpReceived, AsWord(n), 0, 0);
    LinkReassembleStream(link, have, n);
    return;
  }
  if (n < 0 && LinkNetLastError() == LinkErrWouldBlock) return;
  ServerDropConnection(link);
  Record(link, LinkEventConnectionClosed, 2, link->isServer, conn);
  link->announceCount = 0;
  LinkDebugPrint("S disconnect\n");
  Record(link, LinkEventServerConnectionEnded, AsWord(n), 0, 0);
}

// Returns -1 when the datagram was empty (next pass at once), 1 for a poke to accept, else 0.
int ServerUdpReceive(LinkConnection* link) {
  LinkDebugPrint("S udp message received\n");
  std::uint8_t message[LinkReceiveBufferSize];
  int n = LinkNetReceiveFrom(LinkLoad(link->udpSocket), message, sizeof message);
  Record(link, LinkEventServerUdpReceived, AsWord(n), 0, 0);
  if (n < 0) return 0;
  if (n == 0) return -1;
  if (message[LinkOffsetCode] != LinkPokeCode) {
    LinkEnqueueMessage(link, message, n, LinkDatagramQueue, "udpsocket");
    return 0;
  }
  bool poke = LinkLoad(link->status) == 0;
  Record(link, LinkEventServerPoked, AsWord(n), 0, 0);
  return poke ? 1 : 0;
}

void ServerAccepted(LinkConnection* link, LinkSocket s, LinkNetAddress peer) {
  LinkDebugPrint("S TCP connected immediately\n");
  Record(link, LinkEventServerAccepted, s, 0, 0);
  LinkSocket old = LinkLoad(link->connSocket);
  if (old != 0) {
    LinkCloseSocketField(link->connSocket);
    Record(link, LinkEventTcpSocketClosed, 10, link->isServer, old);
  }
  link->tcpPeer = LinkIpv4Of(peer);
  {
    std::lock_guard<std::mutex> hold(LinkSocketLock());
    link->udpPeer = LinkIpv4Of(LinkNetAddress{peer.address, static_cast<std::uint16_t>(link->tPort)});
  }
  LinkStore(link->rxHave, 0);
  LinkStore(link->connValid, 1);
  LinkStore(link->connSocket, s);
  Record(link, LinkEventSocketTaken, 4, link->isServer, s);
  LinkStore(link->status, LinkStatusAccepted);
  LinkStore(link->connectState, LinkConnectStateAccepted);
}

// Returns accept's error.
int ServerAcceptFailed(LinkConnection* link) {
  int error = LinkNetLastError();
  LinkDebugPrint("S accept error: %d\n", error);
  Record(link, LinkEventServerAcceptError, AsWord(error), 0, 0);
  LinkSocket conn = LinkLoad(link->connSocket);
  if (conn == 0) return error;
  ServerDropConnection(link);
  Record(link, LinkEventTcpSocketClosed, 3, link->isServer, conn);
  link->announceCount = 0;
  LinkDebugPrint("S disconnect on accept\n");
  Record(link, LinkEventServerAcceptDropped, AsWord(error), 0, 0);
  ListenOn(link, LinkListenAgain);
  return error;
}

// Returns 0 when a connection was accepted, else accept's error.
int ServerAccept(LinkConnection* link, bool poke) {
  LinkStore(link->connValid, 0);
  LinkNetAddress peer{0, 0};
  LinkSocket s = LinkNetAccept(LinkLoad(link->tcpSocket), &peer);
  int answer = s == LinkNetInvalid ? -1 : static_cast<int>(s);
  LinkDebugPrint("S accept answer: %d\n", answer);
  Record(link, LinkEventServerAcceptResult, AsWord(answer), poke ? 1 : 0, 0);
  if (s == LinkNetInvalid) return ServerAcceptFailed(link);
  ServerAccepted(link, s, peer);
  return 0;
}

}  // namespace

void LinkRecordSelect(LinkConnection* link, int code, const LinkNetSet* read, const LinkNetSet* write, bool writeUsed) {
  int writeMask = writeUsed && write != nullptr ? SelectMask(link, write) : 0;
  Record(link, code, AsWord(SelectMask(link, read)), 0, AsWord(writeMask));
}

void LinkTraceSelect(LinkConnection* link, int result, bool writeUsed, const LinkNetSet* read, const LinkNetSet* write,
                     const char* label) {
  char line[200];
  int used = std::snprintf(line, sizeof line, "\n%s select: (%d) %d ", label, LinkLoad(link->status), result);
  static const char* const inNames[] = {"Conn in ", "TCP in ", "UDP in "};
  static const char* const outNames[] = {"Conn out ", "TCP out ", "UDP out "};
  int readMask = SelectMask(link, read);
  int writeMask = writeUsed && write != nullptr ? SelectMask(link, write) : 0;
  for (int i = 0; i < 3; i++)
    if (readMask & (1 << (4 * i))) used += std::snprintf(line + used, sizeof line - used, "%s", inNames[i]);
  for (int i = 0; i < 3; i++)
    if (writeMask & (1 << (4 * i))) used += std::snprintf(line + used, sizeof line - used, "%s", outNames[i]);
  std::snprintf(line + used, sizeof line - used, "\n");
  std::lock_guard<std::mutex> hold(LinkRecordLock());
  LinkDebugPrint("%s", line);
}

void LinkClientThread(LinkConnection* link) {
  ThreadStart(link, false);
  if (LinkNetSetNonBlocking(LinkLoad(link->tcpSocket)) != 0) {
    LinkDebugPrint("C bad response from ioctlsocket: %d\n", LinkNetLastError());
    Record(link, LinkEventClientNonBlockingFailed, AsWord(LinkNetLastError()), 0, 0);
  }
  LinkDebugPrint("C try connect on %d\n", static_cast<int>(LinkLoad(link->tcpSocket)));
  LinkStore(link->connectState, LinkConnectStateWanted);
  LinkStore(link->status, LinkStatusNotConnected);
  ClientPass pass;
  LinkAnnouncementReader announcements;
  while (LinkLoad(link->runFlag) != 0) {
    if (WantsConnect(link) && pass.quiet && ConnectAtTop(link, pass)) continue;
    LinkSocket tcp = LinkLoad(link->tcpSocket);
    bool connected = LinkLoad(link->status) != 0;
    LinkNetSet read, write;
    LinkNetSetClear(&read);
    LinkNetSetClear(&write);
    LinkNetSetAdd(&read, LinkLoad(link->udpSocket));
    if (connected && !link->datagramOnly) LinkNetSetAdd(&read, tcp);
    bool writeUsed = !connected && pass.quiet && !link->datagramOnly;
    if (writeUsed) LinkNetSetAdd(&write, tcp);
    if (!pass.quiet) TraceAndRecord(link, 0, &read, &write, writeUsed, "C before", LinkEventClientSelectBefore);

    std::uint32_t selectStart = LinkMilliseconds();
    int rc = ClientSelect(link, announcements, &read, writeUsed ? &write : nullptr);
    pass.lastResult = rc;
    if (LinkLoad(link->runFlag) == 0) break;
    if (rc < 0) {
      LinkDebugPrint("C error : %d\n", LinkNetLastError());
      Record(link, LinkEventClientSelectError, AsWord(LinkNetLastError()), 0, 0);
      WaitOutFailedPass(link, selectStart);
      continue;
    }
    if (rc == 0) {
      pass.quiet = true;
      if (WantsConnect(link)) ConnectAfterQuiet(link);
      continue;
    }
    pass.quiet = false;
    LinkNetSet readyRead = ReadyOnly(read), readyWrite = ReadyOnly(write);
    TraceAndRecord(link, rc, &readyRead, &readyWrite, writeUsed, "C after", LinkEventClientSelectAfter);
    if (LinkNetSetReady(&read, tcp) && !link->datagramOnly && LinkLoad(link->status) != 0 &&
        !ClientTcpReceive(link, pass)) {
      announcements.DecideWaiting(link, true);
      LinkStore(link->threadRunning, 0);
      return;
    }
    if (LinkNetSetReady(&read, LinkLoad(link->udpSocket)) && !ClientUdpReceive(link, pass, announcements)) continue;
    if (writeUsed && !link->datagramOnly && LinkNetSetReady(&write, tcp) && LinkLoad(link->tcpSocket) == tcp)
      ClientWritable(link, pass);
  }
  announcements.DecideWaiting(link, true);
  LinkStore(link->threadRunning, 0);
}

void LinkServerThread(LinkConnection* link) {
  ThreadStart(link, true);
  LinkDebugPrint("S Listening on %d\n", static_cast<int>(LinkLoad(link->tcpSocket)));
  link->lastAnnounce = LinkMilliseconds();
  link->announceCount = 0;
  LinkNetSetNonBlocking(LinkLoad(link->tcpSocket));
  ListenOn(link, LinkListenInside);
  std::uint8_t announcement[AnnouncementSize] = {};
  bool quiet = true;
  while (LinkLoad(link->runFlag) != 0) {
    LinkSocket tcp = LinkLoad(link->tcpSocket);
    LinkSocket udp = LinkLoad(link->udpSocket);
    LinkSocket conn = LinkLoad(link->connSocket);
    LinkNetSet read;
    LinkNetSetClear(&read);
    LinkNetSetAdd(&read, tcp);
    LinkNetSetAdd(&read, udp);
    if (LinkLoad(link->connValid) != 0 && conn != 0) LinkNetSetAdd(&read, conn);
    if (!quiet) TraceAndRecord(link, 0, &read, nullptr, false, "S before", LinkEventServerSelectBefore);

    std::uint32_t selectStart = LinkMilliseconds();
    int rc = LinkNetSelect(&read, nullptr, SelectWaitUs);
    if (LinkLoad(link->runFlag) == 0) break;
    if (rc < 0) {
      ServerSelectError(link);
      WaitOutFailedPass(link, selectStart);
      continue;
    }
    if (rc == 0) {
      quiet = true;
      MaybeAnnounce(link, announcement);
      continue;
    }
    quiet = false;
    LinkNetSet readyRead = ReadyOnly(read);
    TraceAndRecord(link, 0, &readyRead, nullptr, false, "S after", LinkEventServerSelectAfter);
    if (conn != 0 && LinkNetSetReady(&read, conn) && LinkLoad(link->connSocket) == conn) ServerTcpReceive(link);
    int datagram = LinkNetSetReady(&read, udp) ? ServerUdpReceive(link) : 0;
    if (datagram < 0) continue;
    bool listenerReady = LinkNetSetReady(&read, tcp);
    if (!listenerReady && datagram != 1) continue;
    // Nothing pending after a poke fails harmlessly; any other failure would repeat at once.
    int error = ServerAccept(link, datagram == 1);
    if (error != 0 && (listenerReady || error != LinkErrWouldBlock)) WaitOutFailedPass(link, selectStart);
  }
  LinkStore(link->threadRunning, 0);
}
