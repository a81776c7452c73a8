// Connection requests: kinds, flags, the port plan and the failures of opening a socket link; and the
// socket layer beneath as the link threads rely on it, the same on every platform: errors in Winsock's
// numbers, a select that waits no longer than asked, and accepted sockets that never block.
#include "link/link.h"
#include "link_net.h"
#include "link_socket.h"
#include "link_socket_support.h"

#include <tuple>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using linktest::At;
using linktest::FreeTPort;
using linktest::Loopback;
using linktest::Ready;

class ConnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link = LinkCreate();
    ASSERT_NE(link, nullptr);
  }
  void TearDown() override { LinkRelease(link); }

  int Open(int t, int flags = 0, const char* kind = "ethernet") {
    return LinkConnect(link, kind, "127.0.0.1", t, flags);
  }
  int LocalPort(std::uint32_t socket) {
    LinkNetAddress a{0, 0};
    return LinkNetLocalAddress(socket, &a) == 0 ? a.port : -1;
  }

  LinkConnection* link = nullptr;
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

}  // namespace
