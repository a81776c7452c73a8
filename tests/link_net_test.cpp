// The link library's socket layer as the link threads rely on it, the same on every platform: errors in
// Winsock's numbers, a select that waits no longer than asked, and accepted sockets that never block.
#include "link_net.h"
#include "link_socket_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using linktest::Loopback;

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
    EXPECT_EQ(LinkNetBind(s, LinkNetAddress{Loopback, static_cast<std::uint16_t>(port)}), 0);
    EXPECT_EQ(LinkNetListen(s), 0);
    EXPECT_EQ(LinkNetSetNonBlocking(s), 0);
    return s;
  }
  static int WaitReady(LinkSocket s, bool forWriting, int milliseconds) {
    LinkNetSet set;
    LinkNetSetClear(&set);
    LinkNetSetAdd(&set, s);
    return forWriting ? LinkNetSelect(nullptr, &set, milliseconds * 1000)
                      : LinkNetSelect(&set, nullptr, milliseconds * 1000);
  }

  linktest::SocketsReady sockets_;
  std::vector<LinkSocket> opened_;
};

TEST_F(NetTest, ConnectAcceptAndReceiveReportWinsockNumbers) {
  int port = linktest::FreeTPort();
  LinkSocket listener = Listener(port);
  LinkNetAddress peer{0, 0};
  EXPECT_EQ(LinkNetAccept(listener, &peer), LinkNetInvalid) << "nobody is waiting";
  EXPECT_EQ(LinkNetLastError(), LinkErrWouldBlock);

  LinkSocket client = Open(LinkNetStream);
  ASSERT_EQ(LinkNetSetNonBlocking(client), 0);
  if (LinkNetConnect(client, LinkNetAddress{Loopback, static_cast<std::uint16_t>(port)}) != 0) {
    EXPECT_EQ(LinkNetLastError(), LinkErrWouldBlock) << "a non-blocking connect is under way";
  }
  ASSERT_EQ(WaitReady(client, true, 2000), 1);
  EXPECT_EQ(LinkNetPendingError(client), 0);
  EXPECT_TRUE(LinkNetHasPeer(client));
  // Linux answers the first connect after completion with success, Windows at once with "already
  // connected"; the one after that is "already connected" everywhere.
  LinkNetConnect(client, LinkNetAddress{Loopback, static_cast<std::uint16_t>(port)});
  EXPECT_EQ(LinkNetConnect(client, LinkNetAddress{Loopback, static_cast<std::uint16_t>(port)}), -1);
  EXPECT_EQ(LinkNetLastError(), LinkErrIsConnected);

  ASSERT_EQ(WaitReady(listener, false, 2000), 1);
  LinkSocket accepted = LinkNetAccept(listener, &peer);
  ASSERT_NE(accepted, LinkNetInvalid) << LinkNetLastError();
  opened_.push_back(accepted);
  EXPECT_EQ(peer.address, Loopback);
  char bytes[16];
  auto start = Clock::now();
  EXPECT_EQ(LinkNetReceive(accepted, bytes, sizeof bytes), -1) << "an accepted socket keeps its listener's mode";
  EXPECT_EQ(LinkNetLastError(), LinkErrWouldBlock);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));

  ASSERT_EQ(LinkNetSend(client, "abc", 3), 3);
  ASSERT_EQ(WaitReady(accepted, false, 2000), 1);
  EXPECT_EQ(LinkNetReceive(accepted, bytes, sizeof bytes), 3);
}

TEST_F(NetTest, RefusedConnectLeavesItsErrorOnTheSocket) {
  int port = linktest::FreeTPort();  // nothing listens there
  LinkSocket client = Open(LinkNetStream);
  ASSERT_EQ(LinkNetSetNonBlocking(client), 0);
  int rc = LinkNetConnect(client, LinkNetAddress{Loopback, static_cast<std::uint16_t>(port)});
  ASSERT_EQ(rc, -1);
  int error = LinkNetLastError();
  auto end = Clock::now() + std::chrono::seconds(5);
  while (error == LinkErrWouldBlock && Clock::now() < end) {
    WaitReady(client, true, 100);
    int pending = LinkNetPendingError(client);
    if (pending != 0) error = pending;
  }
  EXPECT_EQ(error, 10061) << "connection refused";
  EXPECT_FALSE(LinkNetHasPeer(client));
}

TEST_F(NetTest, SelectWaitsItsTimeOutAndMarksOnlyReadySockets) {
  int port = linktest::FreeTPort();
  LinkSocket quiet = Open(LinkNetDatagram);
  LinkSocket busy = Open(LinkNetDatagram);
  ASSERT_EQ(LinkNetBind(quiet, LinkNetAddress{Loopback, static_cast<std::uint16_t>(port)}), 0);
  ASSERT_EQ(LinkNetBind(busy, LinkNetAddress{Loopback, static_cast<std::uint16_t>(port + 1)}), 0);
  LinkNetSet read;
  LinkNetSetClear(&read);
  LinkNetSetAdd(&read, quiet);
  LinkNetSetAdd(&read, busy);
  auto start = Clock::now();
  EXPECT_EQ(LinkNetSelect(&read, nullptr, 300000), 0);
  auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));

  ASSERT_EQ(LinkNetSendTo(quiet, "x", 1, LinkNetAddress{Loopback, static_cast<std::uint16_t>(port + 1)}), 1);
  EXPECT_EQ(LinkNetSelect(&read, nullptr, 2000000), 1);
  EXPECT_FALSE(LinkNetSetReady(&read, quiet));
  EXPECT_TRUE(LinkNetSetReady(&read, busy));
  char byte = 0;
  EXPECT_EQ(LinkNetReceiveFrom(busy, &byte, 1), 1);
  EXPECT_EQ(byte, 'x');
}

TEST_F(NetTest, SelectOnAClosedSocketFailsAsNoSocket) {
  LinkSocket s = LinkNetSocket(LinkNetDatagram);
  ASSERT_NE(s, LinkNetInvalid);
  LinkNetClose(s);
  EXPECT_EQ(WaitReady(s, false, 100), -1);
  EXPECT_EQ(LinkNetLastError(), LinkErrNotSocket);
}

}  // namespace
