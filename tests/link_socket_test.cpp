// Socket links: connection requests (kinds, flags, the port plan and the failures of opening); the socket
// layer beneath as the link threads rely on it, the same on every platform (errors in Winsock's numbers, a
// select that waits no longer than asked, accepted sockets that never block); links end to end on loopback:
// connecting, reconnecting, the announcement and the poke, message routing by class, stopping a busy link,
// and link threads that neither wait for name lookups nor spin; and the link console as a user drives it, a
// slave and a master process exchanging test messages, keys on their standard input.
#include "child_process.h"
#include "link/link.h"
#include "link_net.h"
#include "link_resolver.h"
#include "link_socket.h"
#include "link_socket_support.h"
#include "link_test_support.h"
#include "test_environment.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using linktest::At;
using linktest::FreeTPort;
using linktest::Loopback;
using linktest::Ready;
using linktest::StatusOf;
using linktest::UdpEnd;
using linktest::WaitFor;

class ConnectTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(link, nullptr); }
  void TearDown() override { LinkRelease(link); }

  int Open(int t, int flags = 0, const char* kind = "ethernet") {
    return LinkConnect(link, kind, "127.0.0.1", t, flags);
  }
  int LocalPort(std::uint32_t socket) {
    LinkNetAddress a{0, 0};
    return LinkNetLocalAddress(socket, &a) == 0 ? a.port : -1;
  }

  LinkConnection* link = LinkCreate();
};

TEST_F(ConnectTest, KindIsRecognisedByItsExactBeginning) {
  for (const char* kind : {"Ethernet", "ether", static_cast<const char*>(nullptr)})
    EXPECT_EQ(Open(FreeTPort(), 0, kind), 1) << (kind ? kind : "no kind");
  EXPECT_EQ(link->thread, 0u);

  ASSERT_EQ(Open(FreeTPort(), 0, "ethernet-any-suffix"), 0);
  EXPECT_EQ(link->kind, 1);
  EXPECT_NE(link->thread, 0u);
  EXPECT_EQ((std::tuple{LinkDisconnect(link), link->thread}), (std::tuple{0, 0u}));

  LinkConnect(link, "SERIAL", "com9", 0, 0);
  EXPECT_EQ((std::tuple{int{link->kind}, int{link->announceCount}}), (std::tuple{0, 1})) << "serial requests go there";
  LinkConnect(link, "Modem", "com9", 0, 0);
  EXPECT_EQ(link->kind, 0);
}

TEST_F(ConnectTest, UnregisteredObjectOpensNothing) {
  LinkConnection* extra[17];
  for (auto& e : extra) e = LinkCreate();
  ASSERT_EQ(LinkIsValid(extra[16]), 0);
  EXPECT_EQ(LinkConnect(extra[16], "ethernet", "127.0.0.1", FreeTPort(), 0), 0);
  EXPECT_EQ((std::tuple{extra[16]->thread, extra[16]->udpSocket}), (std::tuple{0u, 0u}));
  for (auto& e : extra) LinkRelease(e);
}

TEST_F(ConnectTest, ClientPortPlan) {
  const int t = FreeTPort();
  const std::uint32_t port = static_cast<std::uint32_t>(t);
  ASSERT_EQ(Open(t), 0);
  EXPECT_EQ((std::tuple{link->tPort, link->uPort}), (std::tuple{port, port}));
  EXPECT_EQ(link->localOnly, 1) << "127.0.0.1 forces local only";
  EXPECT_EQ(LocalPort(link->udpSocket), t);
  EXPECT_EQ((std::tuple{LinkAddressOf(link->tcpPeer).port, LinkAddressOf(link->tcpPeer).address}),
            (std::tuple{t, Loopback}));
  EXPECT_EQ((std::tuple{LinkUdpPeer(link).port, link->isServer}), (std::tuple{t + 1, 0u}));
  EXPECT_STRNE(link->hostName, "");
  LinkDisconnect(link);
  EXPECT_EQ((std::tuple{link->udpSocket, link->tcpSocket}), (std::tuple{0u, 0u}));
}

TEST_F(ConnectTest, ServerPortPlanAndListenHandshake) {
  const int t = FreeTPort();
  ASSERT_EQ(Open(t, LinkFlagServer), 0);
  EXPECT_EQ((std::tuple{LinkLoad(link->listenState), int{link->openedBefore}}), (std::tuple{0, 1}))
      << "listening when the open returns";
  EXPECT_EQ((std::tuple{LocalPort(link->udpSocket), LocalPort(link->tcpSocket)}), (std::tuple{t + 1, t}));
  EXPECT_EQ((std::tuple{LinkAddressOf(link->tcpPeer).port, LinkAddressOf(link->tcpPeer).address}), (std::tuple{t, 0u}))
      << "the server's own listening address";
  EXPECT_EQ(LinkUdpPeer(link).port, t);
  EXPECT_FALSE(linktest::CanBind(LinkNetStream, t)) << "the TCP port is taken by the listener";

  auto start = Clock::now();
  LinkDisconnect(link);
  ASSERT_EQ(Open(t, LinkFlagServer), 0) << "open again after a disconnect";
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1700));
}

TEST_F(ConnectTest, DefaultPortIs5510) {
  ASSERT_EQ(Open(0), 0);
  EXPECT_EQ((std::tuple{link->tPort, link->uPort}), (std::tuple{5510u, 5510u}));
  EXPECT_EQ((std::tuple{LocalPort(link->udpSocket), LinkAddressOf(link->tcpPeer).port}), (std::tuple{5510, 5510}));
}

TEST_F(ConnectTest, LocalOnlyFlagReplacesTheAddress) {
  ASSERT_EQ(LinkConnect(link, "ethernet", "no-such-host.invalid", FreeTPort(), LinkFlagLocalOnly), 0);
  EXPECT_STREQ(link->peerName, "127.0.0.1");
  EXPECT_EQ(LinkAddressOf(link->tcpPeer).address, Loopback);
}

TEST_F(ConnectTest, FlagsAreStored) {
  ASSERT_EQ(LinkConnect(link, "ethernet", "localhost", FreeTPort(), 0x20 | 0x40 | 0x100), 0);
  EXPECT_EQ((std::tuple{link->noAnnounce, link->datagramOnly, link->localOnly}), (std::tuple{1, 1, 0}));
  EXPECT_STREQ(link->peerName, "localhost");
}

TEST_F(ConnectTest, UnresolvableHostGivesTheResolverCode) {
  int result = LinkConnect(link, "ethernet", "no-such-host.invalid", FreeTPort(), 0);
  EXPECT_TRUE(result != 0 && result != 1) << result;
  EXPECT_EQ((std::tuple{link->thread, link->udpSocket}), (std::tuple{0u, 0u}));
  EXPECT_STREQ(link->peerName, "no-such-host.invalid");
}

TEST_F(ConnectTest, PortsInUseFailWithTheirCodes) {
  const int t = FreeTPort();
  LinkSocket udp = LinkNetSocket(LinkNetDatagram);
  ASSERT_EQ(LinkNetBind(udp, At(0, t)), 0);
  EXPECT_EQ((std::tuple{Open(t), link->thread}), (std::tuple{3, 0u})) << "client UDP port taken";
  LinkDisconnect(link);
  LinkNetClose(udp);

  LinkSocket tcp = LinkNetSocket(LinkNetStream);
  ASSERT_EQ(LinkNetBind(tcp, At(0, t)), 0);
  ASSERT_EQ(LinkNetListen(tcp), 0);
  EXPECT_EQ(Open(t, LinkFlagServer), 5) << "server TCP port taken";
  EXPECT_NE(link->udpSocket, 0u) << "sockets stay open until the disconnect";
  LinkDisconnect(link);
  EXPECT_EQ(link->udpSocket, 0u);
  LinkNetClose(tcp);

  EXPECT_EQ(Open(70000), 3) << "no such port";
}

TEST_F(ConnectTest, ConnectingAgainReplacesTheEarlierLink) {
  const int t = FreeTPort();
  ASSERT_EQ(Open(t, LinkFlagServer), 0);
  ASSERT_EQ(Open(t, LinkFlagServer), 0) << "the earlier listener is closed first, so the port is free again";
}

TEST(TrySocket, CreatesBothKinds) {
  linktest::SocketsReady sockets;
  for (int type : {LinkNetStream, LinkNetDatagram}) {
    LinkSocket s = LinkTrySocket(type);
    ASSERT_NE(s, LinkNetInvalid);
    EXPECT_NE(s, 0u);
    LinkNetClose(s);
  }
}

TEST(ConnectByHandle, ReachesTheHandleObject) {
  ASSERT_NE(LinkHandleSlot(2, 1), 0);
  EXPECT_EQ(LinkConnectByHandle(2, "ethernet", "127.0.0.1", FreeTPort(), 0), 0);
  EXPECT_NE(LinkFromHandle(2)->thread, 0u);
  EXPECT_EQ(LinkConnectByHandle(3, "ethernet", "127.0.0.1", FreeTPort(), 0), 0) << "empty handle";
  LinkHandleSlot(2, -1);
}

class NetTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (LinkSocket s : opened_) LinkNetClose(s);
  }
  LinkSocket Open(int type) {
    LinkSocket s = LinkNetSocket(type);
    EXPECT_NE(s, LinkNetInvalid) << LinkNetLastError();
    opened_.push_back(s);
    return s;
  }
  // A non-blocking listener on a free loopback port.
  LinkSocket Listener(int port) {
    LinkSocket s = Open(LinkNetStream);
    EXPECT_EQ(LinkNetBind(s, At(Loopback, port)), 0);
    EXPECT_EQ(LinkNetListen(s), 0);
    EXPECT_EQ(LinkNetSetNonBlocking(s), 0);
    return s;
  }
  linktest::SocketsReady sockets_;
  std::vector<LinkSocket> opened_;
};

TEST_F(NetTest, ConnectAcceptAndReceiveReportWinsockNumbers) {
  const int port = FreeTPort();
  LinkSocket listener = Listener(port);
  LinkNetAddress peer{0, 0};
  EXPECT_EQ((std::tuple{LinkNetAccept(listener, &peer), LinkNetLastError()}),
            (std::tuple{LinkNetInvalid, LinkErrWouldBlock}))
      << "nobody is waiting";

  LinkSocket client = Open(LinkNetStream);
  ASSERT_EQ(LinkNetSetNonBlocking(client), 0);
  if (LinkNetConnect(client, At(Loopback, port)) != 0) {
    EXPECT_EQ(LinkNetLastError(), LinkErrWouldBlock) << "a non-blocking connect is under way";
  }
  ASSERT_EQ(Ready(client, true, 2000), 1);
  EXPECT_EQ((std::tuple{LinkNetPendingError(client), LinkNetHasPeer(client)}), (std::tuple{0, true}));
  // Linux answers the first connect after completion with success, Windows at once with "already
  // connected"; the one after that is "already connected" everywhere.
  LinkNetConnect(client, At(Loopback, port));
  EXPECT_EQ((std::tuple{LinkNetConnect(client, At(Loopback, port)), LinkNetLastError()}),
            (std::tuple{-1, LinkErrIsConnected}));

  ASSERT_EQ(Ready(listener, false, 2000), 1);
  LinkSocket accepted = LinkNetAccept(listener, &peer);
  ASSERT_NE(accepted, LinkNetInvalid) << LinkNetLastError();
  opened_.push_back(accepted);
  EXPECT_EQ(peer.address, Loopback);
  char bytes[16];
  auto start = Clock::now();
  EXPECT_EQ((std::tuple{LinkNetReceive(accepted, bytes, sizeof bytes), LinkNetLastError()}),
            (std::tuple{-1, LinkErrWouldBlock}))
      << "an accepted socket keeps its listener's mode";
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));

  ASSERT_EQ(LinkNetSend(client, "abc", 3), 3);
  ASSERT_EQ(Ready(accepted, false, 2000), 1);
  EXPECT_EQ(LinkNetReceive(accepted, bytes, sizeof bytes), 3);
}

TEST_F(NetTest, RefusedConnectLeavesItsErrorOnTheSocket) {
  LinkSocket client = Open(LinkNetStream);
  ASSERT_EQ(LinkNetSetNonBlocking(client), 0);
  ASSERT_EQ(LinkNetConnect(client, At(Loopback, FreeTPort())), -1);  // nothing listens there
  int error = LinkNetLastError();
  auto end = Clock::now() + std::chrono::seconds(5);
  while (error == LinkErrWouldBlock && Clock::now() < end) {
    Ready(client, true, 100);
    if (int pending = LinkNetPendingError(client)) error = pending;
  }
  EXPECT_EQ(error, 10061) << "connection refused";
  EXPECT_FALSE(LinkNetHasPeer(client));
}

TEST_F(NetTest, SelectWaitsItsTimeOutAndMarksOnlyReadySockets) {
  const int port = FreeTPort();
  LinkSocket quiet = Open(LinkNetDatagram);
  LinkSocket busy = Open(LinkNetDatagram);
  ASSERT_EQ(LinkNetBind(quiet, At(Loopback, port)), 0);
  ASSERT_EQ(LinkNetBind(busy, At(Loopback, port + 1)), 0);
  LinkNetSet read;
  LinkNetSetClear(&read);
  LinkNetSetAdd(&read, quiet);
  LinkNetSetAdd(&read, busy);
  auto start = Clock::now();
  EXPECT_EQ(LinkNetSelect(&read, nullptr, 300000), 0);
  auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));

  ASSERT_EQ(LinkNetSendTo(quiet, "x", 1, At(Loopback, port + 1)), 1);
  EXPECT_EQ(LinkNetSelect(&read, nullptr, 2000000), 1);
  EXPECT_EQ((std::tuple{LinkNetSetReady(&read, quiet), LinkNetSetReady(&read, busy)}), (std::tuple{false, true}));
  char byte = 0;
  EXPECT_EQ((std::tuple{LinkNetReceiveFrom(busy, &byte, 1), byte}), (std::tuple{1, 'x'}));
}

TEST_F(NetTest, SelectOnAClosedSocketFailsAsNoSocket) {
  LinkSocket s = LinkNetSocket(LinkNetDatagram);
  ASSERT_NE(s, LinkNetInvalid);
  LinkNetClose(s);
  EXPECT_EQ((std::tuple{Ready(s, false, 100), LinkNetLastError()}), (std::tuple{-1, LinkErrNotSocket}));
}

// Stands in for name servers that answer only while the test lets them: a name that begins with "peer"
// is at 127.0.0.1 (while peers are known), any other has no address. A lookup that waited while a link
// thread or its stop waited for it would hang the test.
std::mutex namesLock;
std::condition_variable namesChanged;
bool namesAnswer = true, peersKnown = true;
int lookupsStarted = 0, lookupsAnswered = 0;

int HeldLookup(const char* name, std::uint32_t* addresses, int, int* found) {
  std::unique_lock<std::mutex> hold(namesLock);
  lookupsStarted++;
  namesChanged.wait(hold, [] { return namesAnswer; });
  lookupsAnswered++;
  *found = peersKnown && std::strncmp(name, "peer", 4) == 0 ? 1 : 0;
  addresses[0] = Loopback;
  return *found == 1 ? 0 : LinkErrHostNotFound;
}

void LetNamesAnswer(bool answer, bool knowPeers = true) {
  std::lock_guard<std::mutex> hold(namesLock);
  namesAnswer = answer;
  peersKnown = knowPeers;
  namesChanged.notify_all();
}

int Lookups(const int& count) {
  std::lock_guard<std::mutex> hold(namesLock);
  return count;
}

// The library's announcement resolver asks the held name servers while the object lives.
struct HeldNameServers {
  HeldNameServers() {
    LetNamesAnswer(false);
    LinkAnnouncementResolver() = LinkResolver(HeldLookup);
  }
  ~HeldNameServers() {
    LinkAnnouncementResolver() = LinkResolver();
    LetNamesAnswer(true);
  }
};

TEST(AnnouncementResolverTest, LooksUpTwoNamesAtOnceAndDecidesOnlyFromAnswersAtHand) {
  linktest::SocketsReady sockets;
  LinkResolverLimits limits;
  limits.answerLifeMs = 0;  // a name with an address is looked up again whenever it is asked about
  LinkResolver resolver(HeldLookup, limits);
  LetNamesAnswer(false);
  int started = Lookups(lookupsStarted), answered = Lookups(lookupsAnswered);
  std::uint32_t heard = LinkMilliseconds();
  for (const char* name : {"peer-one", "PEER-ONE", "nobody", "peer-two"})
    EXPECT_EQ(resolver.Check(name, Loopback, heard), LinkNameUnknown) << name;
  EXPECT_EQ(resolver.Check("127.0.0.1", Loopback, heard), LinkNameAtAddress) << "an address needs no lookup";

  LetNamesAnswer(true);
  ASSERT_TRUE(WaitFor([&] { return Lookups(lookupsAnswered) == answered + 2; }, 3000));
  EXPECT_EQ(Lookups(lookupsStarted), started + 2) << "PEER-ONE is peer-one, and peer-two found two running";
  EXPECT_EQ(resolver.Check("nobody", Loopback, heard), LinkNameElsewhere) << "no address, for what was heard before";
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::uint32_t heardAgain = LinkMilliseconds();
  EXPECT_EQ(resolver.Check("nobody", Loopback, heardAgain), LinkNameUnknown) << "heard since: asked again";
  EXPECT_TRUE(WaitFor([&] { return resolver.Check("nobody", Loopback, heardAgain) == LinkNameElsewhere; }, 3000));
  LetNamesAnswer(false);
  // Expired at once, the answer still decides while the name is looked up again (once a lookup is free).
  EXPECT_TRUE(WaitFor([&] { return resolver.Check("Peer-One", Loopback, heard) == LinkNameAtAddress; }, 3000));
  EXPECT_EQ(resolver.Check("peer-one", Loopback + 1, heard), LinkNameElsewhere);
  EXPECT_EQ(resolver.Check("peer-two", Loopback, heard), LinkNameUnknown) << "looked up only now";

  // With both lookups held busy (peer-one's and a stranger's), peer-two's expired answer still decides.
  LetNamesAnswer(true);
  ASSERT_TRUE(WaitFor([&] { return Lookups(lookupsAnswered) == answered + 5; }, 3000));
  LetNamesAnswer(false);
  started = Lookups(lookupsStarted);
  ASSERT_TRUE(WaitFor(
      [&] {
        resolver.Check("peer-one", Loopback, heard);
        resolver.Check("stranger", Loopback, heard);
        return Lookups(lookupsStarted) == started + 2;
      },
      3000));
  EXPECT_EQ(resolver.Check("peer-two", Loopback, heard), LinkNameAtAddress);
  LetNamesAnswer(true);
  EXPECT_TRUE(WaitFor([&] { return Lookups(lookupsAnswered) == answered + 7; }, 3000)) << "none left for the next test";
}

class SocketTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server && client); }
  void TearDown() override {
    LinkRelease(client);
    LinkRelease(server);
  }

  void OpenServer(int flags = 0) {
    ASSERT_EQ(LinkConnect(server, "ethernet", "127.0.0.1", t, LinkFlagServer | flags), 0);
  }
  void OpenClient(int flags = 0) { ASSERT_EQ(LinkConnect(client, "ethernet", "127.0.0.1", t, flags), 0); }
  void OpenPair() {
    OpenServer();
    OpenClient();
    ASSERT_TRUE(WaitFor([&] { return StatusOf(client) != 0 && StatusOf(server) != 0; }, 3000));
  }

  int Send(LinkConnection* link, int code, const void* payload = nullptr, int length = 0) {
    std::uint8_t m[1600];
    int n = LinkBuildMessage(link, m, sizeof m, code, 7, payload, length);
    return n == 0 ? -1 : LinkSend(link, m, 0);
  }

  // A server's announcement of `name`: its code, counter and length, the name zero-filled, a zero word.
  static Bytes Announcement(const char* name, std::uint8_t counter = 1) {
    Bytes a = Frame(237, counter, Bytes(64), 0);
    std::memcpy(a.data() + 4, name, strnlen(name, 64));
    return a;
  }
  // Sends the announcement to the client's datagram port, as a stranger's server would.
  int Announce(const char* name) { return sender.SendTo(t, Announcement(name).data(), 72); }
  // The datagram the far end receives within the time, or an empty vector.
  static Bytes Heard(UdpEnd& far, int milliseconds) {
    Bytes m(128);
    m.resize(static_cast<size_t>(std::max(far.Receive(m.data(), 128, milliseconds), 0)));
    return m;
  }
  // Whether `m` is a message of `code` without payload.
  static ::testing::AssertionResult Bare(const Bytes& m, int code) {
    if (m.size() == 8 && m[0] == code) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << m.size() << " bytes of code " << (m.empty() ? -1 : m[0]) << ", not "
                                         << code;
  }
  // Whether the client takes an announcement for its peer's within the time.
  bool PeerMatched() {
    return WaitFor([&] { return LinkLoad(client->connectState) == 4; }, 2000);
  }

  // The names of the announcements in the client's datagram queue, which this empties, in sorted order.
  std::vector<std::string> QueuedNames() {
    std::vector<std::string> names;
    for (auto m = Received(client, 1, 0); m.size() == 72; m = Received(client, 1, 0))
      names.emplace_back(reinterpret_cast<const char*>(m.data() + 4));
    std::sort(names.begin(), names.end());
    return names;
  }

  int t = FreeTPort();
  LinkConnection* server = LinkCreate();
  LinkConnection* client = LinkCreate();
  UdpEnd sender{FreeTPort()};
};

TEST_F(SocketTest, PairConnectsAndCarriesStreamMessagesBothWays) {
  OpenPair();
  EXPECT_EQ(StatusOf(server), 3);
  int state = LinkLoad(client->connectState);
  EXPECT_TRUE(state == 0 || state == -1 || state == -2 || state == -4) << state;
  EXPECT_EQ(LinkLoad(server->connectState), -3);
  EXPECT_EQ((std::tuple{LinkPeerPresent(server), LinkLineStatus(server, 0)}), (std::tuple{3, 1}))
      << "a socket link answers its line questions from its state";

  const char text[] = "hello over tcp";
  ASSERT_EQ(Send(client, 130, text, sizeof text), 0);
  auto m = Received(server, 0);
  ASSERT_EQ(m.size(), sizeof text + 8);
  EXPECT_EQ(m[0], 130);
  EXPECT_EQ(std::memcmp(m.data() + 4, text, sizeof text), 0);
  ASSERT_EQ(Send(server, 131), 0);
  EXPECT_TRUE(Bare(Received(client, 0), 131));
  EXPECT_EQ(LinkPending(client, 1), 0);
}

TEST_F(SocketTest, ManyStreamMessagesArriveWholeAndInOrder) {
  OpenPair();
  std::uint8_t payload[1000];
  for (int i = 0; i < 60; i++) {
    std::memset(payload, i, sizeof payload);
    ASSERT_EQ(Send(client, 140, payload, 100 + i * 15), 0);
  }
  for (int i = 0; i < 60; i++) {
    auto m = Received(server, 0);
    ASSERT_EQ(m.size(), static_cast<size_t>(108 + i * 15)) << i;
    EXPECT_EQ(m[50], i);
  }
  LinkDisconnect(server);
  EXPECT_EQ((std::tuple{server->errorCount, server->seqGaps[0]}), (std::tuple{0u, 0u})) << "errors, sequence gaps";
}

TEST_F(SocketTest, DatagramClassesTravelByUdp) {
  OpenPair();
  ASSERT_EQ(Send(client, 153), 0) << "code 153 is a stream code until its class is set";
  EXPECT_EQ((std::tuple{Received(server, -1).size(), LinkPending(server, -1)}), (std::tuple{8u, 0}));

  for (LinkConnection* end : {client, server}) LinkSetClass(end, 153, 153, ClassDatagram);
  ASSERT_EQ(Send(client, 153), 0);
  EXPECT_TRUE(Bare(Received(server, 1), 153)) << "a class-1 message arrives in the datagram queue";
  ASSERT_EQ(Send(server, 165), 0);  // 160..175 are datagram codes from the start
  EXPECT_TRUE(Bare(Received(client, 1), 165));
}

TEST_F(SocketTest, BroadcastClassGoesToTheHostNetworksBroadcastAddress) {
  OpenPair();
  if (server->hostAddress[0] != 127) GTEST_SKIP() << "this host's address is not a loopback address";
  LinkSetClass(server, 200, 200, ClassBroadcast);
  ASSERT_EQ(Send(server, 200), 0);
  EXPECT_TRUE(Bare(Received(client, 1), 200)) << "x.x.x.255, port U: where the client's datagram socket listens";
}

TEST_F(SocketTest, UnconnectedClientSendsStreamCodesAsDatagrams) {
  UdpEnd far(t + 1);  // where the client's datagrams go
  OpenClient();
  ASSERT_EQ(Send(client, 130), 0);
  EXPECT_TRUE(Bare(Heard(far, 2000), 130));
}

TEST_F(SocketTest, ClientStartedFirstConnectsOnceServerListens) {
  OpenClient();
  // Refused connects (several, one per quiet half second) never read as a connection.
  EXPECT_FALSE(WaitFor([&] { return StatusOf(client) != 0; }, 1300));
  EXPECT_GT(LinkLoad(client->connectState), 0);
  EXPECT_EQ(LinkConnectError(client), 10061) << "refused, in Winsock's numbering";
  OpenServer();
  ASSERT_TRUE(WaitFor([&] { return StatusOf(client) != 0; }, 3000));
  ASSERT_TRUE(WaitFor([&] { return StatusOf(server) == 3; }, 2000));
  EXPECT_EQ((std::tuple{LinkConnectError(client), LinkConnectError(server)}), (std::tuple{0, 0}))
      << "a connection forgets the refusals before it";
}

TEST_F(SocketTest, ClientReconnectsWithAFreshSocketAfterServerLeaves) {
  OpenPair();
  LinkDisconnect(server);
  ASSERT_TRUE(WaitFor([&] { return StatusOf(client) == 0; }, 2000));
  EXPECT_GT(LinkLoad(client->connectState), 0);
  OpenServer();
  ASSERT_TRUE(WaitFor([&] { return StatusOf(client) != 0 && StatusOf(server) != 0; }, 4000));
  EXPECT_NE(LinkLoad(client->tcpSocket), 0u);
  ASSERT_EQ(Send(client, 130), 0);
  EXPECT_EQ(Received(server, 0).size(), 8u);
}

TEST_F(SocketTest, ServerNoticesClientLeavingAndAcceptsAnother) {
  OpenPair();
  LinkDisconnect(client);
  ASSERT_TRUE(WaitFor([&] { return StatusOf(server) == 0; }, 2000));
  EXPECT_EQ(LinkLoad(server->connSocket), 0u);
  OpenClient();
  ASSERT_TRUE(WaitFor([&] { return StatusOf(server) == 3 && StatusOf(client) != 0; }, 3000));
  ASSERT_EQ(Send(server, 132), 0);
  EXPECT_EQ(Received(client, 0).size(), 8u);
}

TEST_F(SocketTest, ServerAnnouncesItselfToItsPeerOncePerSecond) {
  UdpEnd far(t);  // the server's announcements go to peer port T
  OpenServer();
  ASSERT_EQ(Heard(far, 2500), Announcement(server->hostName, 1));
  auto first = Clock::now();
  ASSERT_EQ(Heard(far, 2500), Announcement(server->hostName, 2)) << "the counter rises with every announcement";
  auto gap = Clock::now() - first;
  EXPECT_GT(gap, std::chrono::milliseconds(900));
  EXPECT_LT(gap, std::chrono::milliseconds(1700));
}

TEST_F(SocketTest, NoAnnounceServerStaysQuiet) {
  UdpEnd far(t);
  OpenServer(LinkFlagNoAnnounce);
  EXPECT_TRUE(Heard(far, 1800).empty());
}

TEST_F(SocketTest, ForeignAnnouncementIsQueuedUnlessAnnouncementsAreOff) {
  OpenClient(LinkFlagDatagramOnly);
  ASSERT_EQ(Announce("no-such-host.invalid"), 72);
  ASSERT_EQ(Received(client, 1).size(), 72u) << "a name that is not the peer's is an ordinary datagram";
  LinkDisconnect(client);

  OpenClient(LinkFlagDatagramOnly | LinkFlagNoAnnounce);
  ASSERT_EQ(Announce("no-such-host.invalid"), 72);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(LinkPending(client, 1), 0) << "neither matched nor queued";
}

TEST_F(SocketTest, MatchingAnnouncementIsNotQueued) {
  OpenClient(LinkFlagDatagramOnly);
  ASSERT_EQ(Announce("127.0.0.1"), 72);
  ASSERT_TRUE(PeerMatched());
  EXPECT_EQ(LinkPending(client, 1), 0);
}

// The peer's announcement waits for its name's answer, however it comes late: after the lookups of two
// strangers' names held both places, and after an earlier lookup of the name found nothing.
TEST_F(SocketTest, PeerAnnouncementWaitsForItsNamesAnswerAndIsNeverQueued) {
  HeldNameServers names;
  OpenClient(LinkFlagDatagramOnly);
  int started = Lookups(lookupsStarted);
  for (const char* name : {"stranger-one", "stranger-two", "peer-game"}) ASSERT_EQ(Announce(name), 72);
  ASSERT_TRUE(WaitFor([&] { return Lookups(lookupsStarted) == started + 2; }, 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(LinkPending(client, 1), 0) << "all three wait for their names' answers";
  LetNamesAnswer(true);
  EXPECT_TRUE(PeerMatched()) << "the peer's, once looked up";
  EXPECT_EQ(QueuedNames(), (std::vector<std::string>{"stranger-one", "stranger-two"}));

  LetNamesAnswer(true, false);
  ASSERT_EQ(Announce("peer-late"), 72);
  EXPECT_EQ(Received(client, 1).size(), 72u) << "the name has no address yet";
  LinkDisconnect(client);
  LetNamesAnswer(true, true);
  OpenClient(LinkFlagDatagramOnly);
  ASSERT_EQ(Announce("peer-late"), 72);
  EXPECT_TRUE(PeerMatched()) << "asked again, and found";
  EXPECT_EQ(LinkPending(client, 1), 0);
}

// A name server that never answers: the announcement waits its time and is then taken for a stranger's,
// and a stop neither waits for the lookup nor loses the announcement waiting at the time.
TEST_F(SocketTest, AnnouncementLookupsNeverHoldUpTheLinkThreadOrItsStop) {
  HeldNameServers names;
  OpenClient(LinkFlagDatagramOnly);
  int answered = Lookups(lookupsAnswered);
  ASSERT_EQ(Announce("peer-game"), 72);
  EXPECT_EQ(Received(client, 1, 3000).size(), 72u) << "no answer within the wait";
  EXPECT_EQ(LinkLoad(client->connectState), 1);
  ASSERT_EQ(Announce("peer-game"), 72);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(LinkDisconnect(client), 0);
  EXPECT_EQ(QueuedNames(), std::vector<std::string>{"peer-game"}) << "the waiting one, decided at the stop";
  EXPECT_EQ(Lookups(lookupsAnswered), answered) << "the stop ended while the lookup still waits";

  LetNamesAnswer(true);
  ASSERT_TRUE(WaitFor([&] { return Lookups(lookupsAnswered) == answered + 1; }, 3000));
  OpenClient(LinkFlagDatagramOnly);
  ASSERT_EQ(Announce("peer-game"), 72);
  EXPECT_TRUE(PeerMatched()) << "the answer now at hand matches";
  EXPECT_EQ(LinkPending(client, 1), 0);
  LinkDisconnect(client);
}

TEST_F(SocketTest, ServerWhoseListeningSocketStoppedListeningDoesNotSpin) {
  OpenServer(LinkFlagNoAnnounce);
  // A bound socket that does not listen, as a failed listen leaves it: Linux reports it hung up at once.
  LinkSocket listening = LinkLoad(server->tcpSocket);
  LinkSocket idle = LinkNetSocket(LinkNetStream);
  ASSERT_EQ(LinkNetBind(idle, LinkNetAddress{Loopback, 0}), 0);
  LinkStore(server->tcpSocket, idle);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  double before = ProcessorSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_LT(ProcessorSeconds() - before, 0.2) << "a spinning link thread uses the whole second";
  LinkRelease(server);  // closes the idle socket with the link
  server = LinkCreate();
  LinkNetClose(listening);
}

TEST_F(SocketTest, DatagramOnlyClientNeverConnects) {
  OpenServer();
  OpenClient(LinkFlagDatagramOnly);
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  EXPECT_EQ((std::tuple{StatusOf(client), StatusOf(server)}), (std::tuple{0, 0}));
  ASSERT_EQ(Send(client, 130), 0);
  EXPECT_TRUE(Bare(Received(server, 1), 130)) << "a stream code travels as a datagram";
}

TEST_F(SocketTest, PokeMakesAnUnconnectedServerTryToAcceptAndIsNeverQueued) {
  std::string debugPath = ::testing::TempDir() + "link_poke_debug_" + std::to_string(t) + ".txt";
  OpenServer(LinkFlagNoAnnounce);
  OpenClient(LinkFlagDatagramOnly);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  LinkSetDebugFile(debugPath.c_str());
  EXPECT_EQ(LinkRestart(client, 1), 0) << "a restart without close pokes the server";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  LinkSetDebugFile(nullptr);
  EXPECT_EQ((std::tuple{LinkPending(server, -1), StatusOf(server)}), (std::tuple{0, 0}));
  const std::string debug = ReadWholeText(debugPath);
  EXPECT_NE(debug.find("S udp message received\n"), std::string::npos) << debug;
  EXPECT_NE(debug.find("S accept answer: -1\nS accept error: 10035\n"), std::string::npos)
      << "nobody is waiting, so the non-blocking accept fails at once\n"
      << debug;
  std::remove(debugPath.c_str());
}

TEST_F(SocketTest, UnconnectedServerRestartsAndSendsAsDatagram) {
  {
    UdpEnd far(t);  // the client's datagram port, until the client itself takes it
    OpenServer(LinkFlagNoAnnounce);
    ASSERT_EQ(Send(server, 133), 0);
    EXPECT_TRUE(Bare(Heard(far, 2000), 133));
    EXPECT_EQ(LinkLoad(server->listenState), 0) << "listening again after the restart";
  }
  OpenClient();
  ASSERT_TRUE(WaitFor([&] { return StatusOf(server) == 3; }, 3000));
}

TEST_F(SocketTest, DisconnectReturnsQuicklyWhileBusy) {
  OpenPair();
  std::atomic<bool> stop{false};
  std::thread flood([&] {
    std::uint8_t payload[1000] = {};
    while (!stop) Send(server, 140, payload, sizeof payload);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto start = Clock::now();
  EXPECT_EQ(LinkDisconnect(client), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(700));
  EXPECT_EQ(LinkLoad(client->threadRunning), 0u);
  stop = true;
  flood.join();
  EXPECT_GT(LinkPending(client, 0), 0) << "messages received before a disconnect stay";
}

TEST_F(SocketTest, ReleaseStopsTheThreadOfAConnectedLink) {
  OpenPair();
  LinkRelease(client);
  client = LinkCreate();
  ASSERT_TRUE(WaitFor([&] { return StatusOf(server) == 0; }, 2000));
}

// One console process with its keys and its console on pipes, and all it printed so far.
struct Console {
  explicit Console(const std::vector<std::string>& args) : process(LINKCONSOLE_PATH, args) {}
  void Key(char key) { ASSERT_TRUE(process.Write(std::string(1, key))); }
  // Reads output until it holds the text (counted from `from`) or the time is up.
  bool WaitForText(const std::string& wanted, int milliseconds, size_t from = 0) {
    return ReadUntil(process, text, wanted, milliseconds, from);
  }

  ChildProcess process;
  std::string text;
};

// The key's test message leaves one console and the other prints what it received.
void Sends(Console& from, char key, Console& to, const std::string& received) {
  const size_t mark = to.text.size();
  from.Key(key);
  const std::string sent = std::string("\nsent ") + static_cast<char>(key - 'a' + 'A') + "\nwaiting for user input :";
  ASSERT_TRUE(from.WaitForText(sent, 3000)) << from.text;
  ASSERT_TRUE(to.WaitForText(received, 3000, mark)) << to.text;
}

TEST(LinkConsole, WithoutArgumentsAsksForThemAndEndsWith4) {
  Console c({});
  ASSERT_TRUE(c.process.started());
  EXPECT_EQ(c.process.Wait(5000), 4);
  c.WaitForText("need", 1000);
  EXPECT_NE(c.text.find("debug messages enabled\nI am "), std::string::npos);
  EXPECT_NE(c.text.find("\nneed   s/e and id of slave\n"), std::string::npos);
}

// A wait that gives no time at all still reaps a console that has ended, so a poll of Wait(0) ends.
TEST(LinkConsole, WaitWithoutTimeTakesTheExitCodeOfAnEndedConsole) {
  Console c({});
  ASSERT_TRUE(c.process.started());
  EXPECT_FALSE(c.WaitForText("", 5000)) << "reads on until the console closes its output as it ends";
  EXPECT_TRUE(Eventually([&] { return c.process.Wait(0) == 4; }, 5));
}

// One test only: both ends use the console's fixed port 8881.
TEST(LinkConsole, SlaveAndMasterExchangeTestMessages) {
  Console slave({"e"});
  ASSERT_TRUE(slave.process.started());
  ASSERT_TRUE(slave.WaitForText("slave waiting\n\nwaiting for user input :", 8000)) << slave.text;
  Console master({"e", "127.0.0.1"});
  ASSERT_TRUE(master.process.started());
  ASSERT_TRUE(master.WaitForText("\nwaiting for user input :", 8000)) << master.text;
  EXPECT_EQ(master.text.find("error"), std::string::npos) << master.text;
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // the master connects

  Sends(master, 't', slave, "received 8 bytes\n 82  00  08  00 \n 01  00  00  00 \n");
  Sends(slave, 'u', master, "received 8 bytes\n 99  00  08  00 \n 01  00  00  00 \n");

  size_t mark = master.text.size();
  master.Key('r');
  ASSERT_TRUE(master.WaitForText("\nReset initiated\n", 3000, mark));
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  EXPECT_EQ(master.text.find("restart connection error", mark), std::string::npos) << master.text;
  master.Key('q');  // any other key does nothing
  Sends(master, 't', slave, "received 8 bytes\n 82  00  08  00 \n 02  00  00  00 \n");

  // Nine bytes print as three lines: bytes 0-3, 4-7 and 8.
  mark = slave.text.size();
  std::uint8_t nine[9] = {0xc8, 0x00, 0x09, 0x00, 0xab, 0x05, 0x00, 0x00, 0x00};
  linktest::SocketsReady sockets;
  UdpEnd sender(FreeTPort());
  ASSERT_EQ(sender.SendTo(8882, nine, sizeof nine), 9);  // the slave's UDP port is 8881 + 1
  EXPECT_TRUE(slave.WaitForText("received 9 bytes\n c8  00  09  00 \n ab  05  00  00 \n 00 \n", 3000, mark))
      << slave.text;

  master.Key('x');
  slave.Key('x');
  EXPECT_EQ(master.process.Wait(3000), 0);
  EXPECT_EQ(slave.process.Wait(3000), 0);
  EXPECT_TRUE(master.WaitForText("Disconnecting\n", 1000));
  EXPECT_TRUE(slave.WaitForText("Disconnecting\n", 1000));
}

}  // namespace
