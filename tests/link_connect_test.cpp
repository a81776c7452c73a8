// Connection requests: kinds, flags, the port plan and the failures of opening a socket link.
#include "link/link.h"
#include "link_socket.h"
#include "link_socket_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

namespace {

using linktest::FreeTPort;

class ConnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link = LinkCreate();
    ASSERT_NE(link, nullptr);
  }
  void TearDown() override { LinkRelease(link); }

  int LocalPort(std::uint32_t socket) {
    LinkNetAddress a{0, 0};
    return LinkNetLocalAddress(socket, &a) == 0 ? a.port : -1;
  }

  LinkConnection* link = nullptr;
};

TEST_F(ConnectTest, KindIsRecognisedByItsExactBeginning) {
  EXPECT_EQ(LinkConnect(link, "Ethernet", "127.0.0.1", FreeTPort(), 0), 1);
  EXPECT_EQ(LinkConnect(link, "ether", "127.0.0.1", FreeTPort(), 0), 1);
  EXPECT_EQ(LinkConnect(link, nullptr, "127.0.0.1", FreeTPort(), 0), 1);
  EXPECT_EQ(link->thread, 0u);

  ASSERT_EQ(LinkConnect(link, "ethernet-any-suffix", "127.0.0.1", FreeTPort(), 0), 0);
  EXPECT_EQ(link->kind, 1);
  EXPECT_NE(link->thread, 0u);
  EXPECT_EQ(LinkDisconnect(link), 0);
  EXPECT_EQ(link->thread, 0u);

  LinkConnect(link, "SERIAL", "com9", 0, 0);
  EXPECT_EQ(link->kind, 0) << "serial requests go to the serial side";
  EXPECT_EQ(link->announceCount, 1);
  LinkConnect(link, "Modem", "com9", 0, 0);
  EXPECT_EQ(link->kind, 0);
}

TEST_F(ConnectTest, UnregisteredObjectOpensNothing) {
  LinkConnection* extra[17];
  for (auto& e : extra) e = LinkCreate();
  ASSERT_EQ(LinkIsValid(extra[16]), 0);
  EXPECT_EQ(LinkConnect(extra[16], "ethernet", "127.0.0.1", FreeTPort(), 0), 0);
  EXPECT_EQ(extra[16]->thread, 0u);
  EXPECT_EQ(extra[16]->udpSocket, 0u);
  for (auto& e : extra) LinkRelease(e);
}

TEST_F(ConnectTest, ClientPortPlan) {
  int t = FreeTPort();
  ASSERT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", t, 0), 0);
  EXPECT_EQ(link->tPort, static_cast<std::uint32_t>(t));
  EXPECT_EQ(link->uPort, static_cast<std::uint32_t>(t));
  EXPECT_EQ(link->localOnly, 1) << "127.0.0.1 forces local only";
  EXPECT_EQ(LocalPort(link->udpSocket), t);
  EXPECT_EQ(LinkAddressOf(link->tcpPeer).port, t);
  EXPECT_EQ(LinkAddressOf(link->tcpPeer).address, linktest::Loopback);
  EXPECT_EQ(LinkUdpPeer(link).port, t + 1);
  EXPECT_EQ(link->isServer, 0u);
  EXPECT_STRNE(link->hostName, "");
  LinkDisconnect(link);
  EXPECT_EQ(link->udpSocket, 0u);
  EXPECT_EQ(link->tcpSocket, 0u);
}

TEST_F(ConnectTest, ServerPortPlanAndListenHandshake) {
  int t = FreeTPort();
  ASSERT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", t, LinkFlagServer), 0);
  EXPECT_EQ(LinkLoad(link->listenState), 0) << "listening when the open returns";
  EXPECT_EQ(link->openedBefore, 1);
  EXPECT_EQ(LocalPort(link->udpSocket), t + 1);
  EXPECT_EQ(LocalPort(link->tcpSocket), t);
  EXPECT_EQ(LinkAddressOf(link->tcpPeer).port, t) << "the server's own listening address";
  EXPECT_EQ(LinkAddressOf(link->tcpPeer).address, 0u);
  EXPECT_EQ(LinkUdpPeer(link).port, t);
  EXPECT_FALSE(linktest::CanBind(LinkNetStream, t)) << "the TCP port is taken by the listener";

  auto start = std::chrono::steady_clock::now();
  LinkDisconnect(link);
  ASSERT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", t, LinkFlagServer), 0) << "open again after a disconnect";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1700));
  LinkDisconnect(link);
}

TEST_F(ConnectTest, DefaultPortIs5510) {
  ASSERT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", 0, 0), 0);
  EXPECT_EQ(link->tPort, 5510u);
  EXPECT_EQ(link->uPort, 5510u);
  EXPECT_EQ(LocalPort(link->udpSocket), 5510);
  EXPECT_EQ(LinkAddressOf(link->tcpPeer).port, 5510);
  LinkDisconnect(link);
}

TEST_F(ConnectTest, LocalOnlyFlagReplacesTheAddress) {
  ASSERT_EQ(LinkConnect(link, "ethernet", "no-such-host.invalid", FreeTPort(), LinkFlagLocalOnly), 0);
  EXPECT_STREQ(link->peerName, "127.0.0.1");
  EXPECT_EQ(LinkAddressOf(link->tcpPeer).address, linktest::Loopback);
  LinkDisconnect(link);
}

TEST_F(ConnectTest, FlagsAreStored) {
  ASSERT_EQ(LinkConnect(link, "ethernet", "localhost", FreeTPort(), 0x20 | 0x40 | 0x100), 0);
  EXPECT_EQ(link->noAnnounce, 1);
  EXPECT_EQ(link->datagramOnly, 1);
  EXPECT_EQ(link->localOnly, 0);
  EXPECT_STREQ(link->peerName, "localhost");
  LinkDisconnect(link);
}

TEST_F(ConnectTest, UnresolvableHostGivesTheResolverCode) {
  int result = LinkConnect(link, "ethernet", "no-such-host.invalid", FreeTPort(), 0);
  EXPECT_NE(result, 0);
  EXPECT_NE(result, 1);
  EXPECT_EQ(link->thread, 0u);
  EXPECT_EQ(link->udpSocket, 0u);
  EXPECT_STREQ(link->peerName, "no-such-host.invalid");
}

TEST_F(ConnectTest, PortsInUseFailWithTheirCodes) {
  int t = FreeTPort();
  LinkSocket udp = LinkNetSocket(LinkNetDatagram);
  ASSERT_EQ(LinkNetBind(udp, LinkNetAddress{0, static_cast<std::uint16_t>(t)}), 0);
  EXPECT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", t, 0), 3) << "client UDP port taken";
  EXPECT_EQ(link->thread, 0u);
  LinkDisconnect(link);
  LinkNetClose(udp);

  LinkSocket tcp = LinkNetSocket(LinkNetStream);
  ASSERT_EQ(LinkNetBind(tcp, LinkNetAddress{0, static_cast<std::uint16_t>(t)}), 0);
  ASSERT_EQ(LinkNetListen(tcp), 0);
  EXPECT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", t, LinkFlagServer), 5) << "server TCP port taken";
  EXPECT_NE(link->udpSocket, 0u) << "sockets stay open until the disconnect";
  LinkDisconnect(link);
  EXPECT_EQ(link->udpSocket, 0u);
  LinkNetClose(tcp);

  EXPECT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", 70000, 0), 3) << "no such port";
}

TEST_F(ConnectTest, ConnectingAgainReplacesTheEarlierLink) {
  int t = FreeTPort();
  ASSERT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", t, LinkFlagServer), 0);
  ASSERT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", t, LinkFlagServer), 0)
      << "the earlier listener is closed first, so the port is free again";
  LinkDisconnect(link);
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

}  // namespace
