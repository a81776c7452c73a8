// Serial links on every system, over two joined ports: opening, the three receive forms, sending,
// busy and reopened ports, two links talking through the pair, and the line operations of both link kinds.
#include "link_serial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "link/link.h"
#include "link_socket_support.h"
#include "link_test_support.h"
#include "link_transport.h"
#include "serial/serial_port.h"
#include "serial_pair.h"

namespace {

// A link on one end of the joined pair; the test is the peer at the other end, through the driver.
class LinkSerialPair : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pair.Missing().empty()) GTEST_SKIP() << pair.Missing();
    com = "COM" + std::to_string(pair.a() + 1);
    ASSERT_NE(link, nullptr);
    ASSERT_EQ(OpenSerial(link, com.c_str(), 115200), 0);
    ASSERT_EQ(SerialPortOpen(pair.b(), 4000, 4000), 0);
    SerialPortDrain(pair.a());
    SerialPortDrain(pair.b());
  }
  void TearDown() override {
    LinkRelease(link);
    SerialPortClose(pair.b());
  }
  // Sends bytes from the peer and waits until the link's port has them.
  void Arrive(const Bytes& bytes) {
    ASSERT_EQ(SerialPortWrite(pair.b(), bytes.data(), static_cast<int>(bytes.size())), static_cast<int>(bytes.size()));
    for (int i = 0; i < 1000 && SerialPortInQueue(pair.a()) < static_cast<int>(bytes.size()); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Bytes PeerReceives(size_t count, int milliseconds = 2000) { return ReadPort(pair.b(), count, milliseconds); }
  SerialPair pair;
  std::string com;
  LinkConnection* link = LinkCreate();
};

TEST_F(LinkSerialPair, BinaryMessagesAcrossPollsAndTwoInOneChunk) {
  EXPECT_EQ((std::tuple{int{link->status}, int{link->comPort}}), (std::tuple{4, pair.a() + 1}));
  const Bytes first = Frame(0x90, 1, {1, 2, 3, 4, 5, 6});
  Arrive(Bytes(first.begin(), first.begin() + 5));
  EXPECT_EQ((std::tuple{PollSerialLine(link), link->rawCount}), (std::tuple{0, 5})) << "held until the rest arrives";
  Arrive(Bytes(first.begin() + 5, first.end()));
  EXPECT_EQ(Received(link), first);

  const Bytes a = Frame(0x91, 2, Pattern(100)), b = Frame(0x92, 3, Pattern(1592), 2);
  ASSERT_EQ(b.size(), 1600u);
  Arrive(Join({a, b}));
  EXPECT_EQ((std::tuple{PollSerialLine(link), PollSerialLine(link)}), (std::tuple{1, 1})) << "one message per poll";
  EXPECT_EQ((std::tuple{Received(link), Received(link)}), (std::tuple{a, b}));
  EXPECT_EQ((std::tuple{link->rawCount, link->errorCount}), (std::tuple{0, 0u}));
}

TEST_F(LinkSerialPair, MessagesGoToTheQueueOfTheirClass) {
  LinkSetClass(link, 0xA0, 0xA0, 1);
  Arrive(Join({Frame(0xA0, 1, {7}), Frame(0x85, 1, {8})}));
  Settle(link);
  EXPECT_EQ((std::tuple{LinkPending(link, 1), LinkPending(link, 0)}), (std::tuple{2, 1}));
  EXPECT_EQ((std::tuple{Received(link, 1)[0], Received(link, 0)[0]}), (std::tuple{0xA0, 0x85}));
}

TEST_F(LinkSerialPair, RejectedFramesDropWhatIsHeldAndCount) {
  const Bytes good = Frame(0x81, 0, {9});
  uint32_t errors = 0;
  for (const Bytes& bad : {Frame(0x81, 0x80, {1}), WithLength(Frame(0x81, 0, {}), 7),
                           WithLength(Frame(0x81, 0, {}), 1601), Frame(0x10, 0, {})}) {
    Arrive(Join({bad, good}));  // the good frame shares the bad frame's chunk and goes with it
    EXPECT_EQ(PollSerialLine(link), 0);
    EXPECT_EQ((std::tuple{link->rawCount, link->errorCount, LinkPending(link, -1)}), (std::tuple{0, ++errors, 0}));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // past the hold-off
    Arrive(good);
    EXPECT_EQ(Received(link), good);
  }
}

TEST_F(LinkSerialPair, TwoByteCommandsAndTextBlocks) {
  LinkSetSerialModes(link, 1, 0);
  EXPECT_NE(LinkGetShortFrames(link), 0);
  Arrive({0x85, 0x12});
  EXPECT_EQ(Received(link), (Bytes{0x85, 0x12, 8, 0, 0, 0, 0, 0}));
  Arrive({0x80, 0x03, 0x41, 0x42, 0x00});
  EXPECT_EQ(Received(link), (Bytes{0x80, 0x03, 14, 0, 0, 0, 0, 0, 0x41, 0x42, 0, 0, 0, 0}));
  Arrive({0x80, 0x03, 0x41, 0x91, 0x05});
  EXPECT_EQ(Received(link), (Bytes{0x80, 0x03, 13, 0, 0, 0, 0, 0, 0x41, 0, 0, 0, 0}));
  EXPECT_EQ(Received(link), (Bytes{0x91, 0x05, 8, 0, 0, 0, 0, 0}));
  // Argument bytes without a command, and a command replaced before its argument.
  Arrive({0x11, 0x22, 0x86, 0x87, 0x33});
  EXPECT_EQ(Received(link), (Bytes{0x87, 0x33, 8, 0, 0, 0, 0, 0}));
  EXPECT_EQ((std::tuple{LinkPending(link, -1), link->errorCount}), (std::tuple{0, 0u}));
}

TEST_F(LinkSerialPair, TextBlockLongerThanASlotIsCutAndCounted) {
  LinkSetSerialModes(link, 1, 0);
  Arrive(Join({{0x80, 0x07}, Bytes(2500, 'x'), {0}}));
  Settle(link);
  const Bytes m = Received(link);
  ASSERT_EQ(m.size(), static_cast<size_t>(LinkQueueSlotSize));
  EXPECT_EQ(m[2] | (m[3] << 8), LinkQueueSlotSize);
  EXPECT_EQ((std::tuple{m[LinkQueueSlotSize - 5], m[LinkQueueSlotSize - 4]}), (std::tuple{uint8_t{'x'}, uint8_t{0}}));
  EXPECT_EQ(link->errorCount, 1u);
}

TEST_F(LinkSerialPair, RawBytesAndAFullReceiveArea) {
  link->rawMode = 1;
  const Bytes bytes = Pattern(3950, 4);
  Arrive(bytes);
  EXPECT_EQ((std::tuple{PollSerialLine(link), PollSerialLine(link)}), (std::tuple{2000, 1950}));
  Arrive({1, 2, 3});
  EXPECT_EQ(PollSerialLine(link), 0);  // fewer than 100 bytes free: nothing is read
  EXPECT_EQ((std::tuple{link->rawCount, SerialPortInQueue(pair.a()), LinkPending(link, 0)}), (std::tuple{3950, 3, 1}));
  uint8_t buffer[4000];
  EXPECT_EQ(LinkReceive(link, 0, buffer, 1000), 1000);
  EXPECT_TRUE(std::equal(buffer, buffer + 1000, bytes.begin()));
  EXPECT_EQ(LinkReceive(link, 0, buffer, sizeof buffer), 2953);  // the poll took the three waiting bytes
  EXPECT_TRUE(std::equal(buffer, buffer + 2950, bytes.begin() + 1000));
  EXPECT_EQ(buffer[2952], 3);
  EXPECT_EQ((std::tuple{LinkReceive(link, 0, buffer, sizeof buffer), LinkPending(link, 0)}), (std::tuple{0, 0}));
}

TEST_F(LinkSerialPair, SendingInEachForm) {
  const Bytes m = Frame(0x90, 4, {1, 2, 3});
  EXPECT_EQ(Send(link, m), 0);
  EXPECT_EQ(PeerReceives(m.size()), m);
  LinkSetSerialModes(link, 1, 0);
  EXPECT_EQ(Send(link, m), 0);
  EXPECT_EQ(PeerReceives(2), (Bytes{0x90, 4}));
  // A text block: code 128, data count at offset 6, a terminating zero added when missing.
  Bytes text{0x80, 5, 13, 0, 0, 0, 3, 0, 'a', 'b', 'c', 0, 0};
  EXPECT_EQ(Send(link, text), 0);
  EXPECT_EQ(PeerReceives(6), (Bytes{0x80, 5, 'a', 'b', 'c', 0}));
  text[6] = 200;  // a count past the message's end is held to the message
  EXPECT_EQ(Send(link, text), 0);
  EXPECT_EQ(PeerReceives(8, 200), (Bytes{0x80, 5, 'a', 'b', 'c', 0, 0}));
  EXPECT_EQ(LinkWriteSerial(link, "hello", 0), 0);
  EXPECT_EQ(PeerReceives(5), (Bytes{'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ((std::tuple{LinkDisconnect(link), int{link->status}}), (std::tuple{1, 0}));
  EXPECT_EQ((std::tuple{LinkWriteSerial(link, "x", 1), PollSerialLine(link)}), (std::tuple{1, 0})) << "closed";
}

TEST_F(LinkSerialPair, SecondLinkToTheSamePortFindsItBusy) {
  LinkConnection* other = LinkCreate();
  EXPECT_EQ(OpenSerial(other, com.c_str(), 9600), SerialPortOpenFailed);
  EXPECT_EQ(SerialErrors(other), (std::tuple{5, -99, -99}));
  LinkRelease(other);
}

TEST_F(LinkSerialPair, ConnectingAgainWithoutDisconnectReopensThePort) {
  ASSERT_EQ(OpenSerial(link, com.c_str(), 9600), 0);
  EXPECT_EQ((std::tuple{int{link->comPort}, link->baud}), (std::tuple{pair.a() + 1, 9600u}));
  const Bytes message = Frame(0x90, 1, {7});
  Arrive(message);
  EXPECT_EQ(Received(link), message);
}

// Each connect request chooses the link's transport: connecting as another kind closes the earlier port
// first, and a request of no known kind keeps the transport it had.
TEST_F(LinkSerialPair, ConnectingAsAnotherKindClosesThePortAndChangesTheTransport) {
  uint8_t lowCode[8];
  ASSERT_EQ(LinkBuildMessage(link, lowCode, sizeof lowCode, 0x20, 0, nullptr, 0), 8);
  ASSERT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", linktest::FreeTPort(), 0), 0);
  EXPECT_EQ(link->comPort, 0);
  LinkConnection* next = LinkCreate();
  EXPECT_EQ(OpenSerial(next, com.c_str(), 115200), 0) << "the port is free for another link";
  LinkRelease(next);
  EXPECT_EQ(LinkSend(link, lowCode, 0), LinkErrorLowCode) << "a socket link sends codes of 128 and above only";
  EXPECT_EQ(LinkConnect(link, "pigeon", com.c_str(), 0, 0), LinkErrorUnknownKind);
  EXPECT_EQ(LinkSend(link, lowCode, 0), LinkErrorLowCode);
  ASSERT_EQ(OpenSerial(link, com.c_str(), 115200), 0);
  EXPECT_EQ(LinkSend(link, lowCode, 0), 0) << "a serial link writes any code";
  EXPECT_EQ(PeerReceives(8), Bytes(lowCode, lowCode + 8));
}

// Two links joined through the pair: a calling side and an answering side with the hardware handshake.
class LinkSerialTwoLinks : public TwoSerialLinks {
 protected:
  void SetUp() override {
    if (!pair.Missing().empty()) GTEST_SKIP() << pair.Missing();
    ASSERT_TRUE(caller && answerer);
    const std::string first = "COM" + std::to_string(pair.a() + 1);
    const std::string second = "com" + std::to_string(pair.b() + 1) + ":HW";
    ASSERT_EQ(OpenSerial(caller, first.c_str(), 115200), 0);
    ASSERT_EQ(OpenSerial(answerer, second.c_str(), 115200, true), 0);
    SerialPortDrain(pair.a());
    SerialPortDrain(pair.b());
  }
  SerialPair pair;
};

TEST_F(LinkSerialTwoLinks, OpenedPortsAndMessagesBothWays) {
  EXPECT_EQ((std::tuple{int{caller->status}, int{caller->comPort}, int{caller->hwFlow}}),
            (std::tuple{4, pair.a() + 1, 0}));
  EXPECT_EQ((std::tuple{int{answerer->comPort}, int{answerer->hwFlow}}), (std::tuple{pair.b() + 1, 1}));
  ExpectMessage(caller, answerer, Frame(0x90, 1, Pattern(6, 1)));
  ExpectMessage(answerer, caller, Frame(0xE0, 4, {}, 2));
  ExpectMessage(caller, answerer, Frame(0x91, 2, Pattern(1592, 3), 3));  // the largest message
  const Bytes a = Frame(0x92, 3, Pattern(20, 4), 4), b = Frame(0x93, 4, Pattern(30, 5), 5);
  EXPECT_EQ((std::tuple{Send(caller, a), Send(caller, b)}), (std::tuple{0, 0}));
  EXPECT_EQ((std::tuple{Received(answerer), Received(answerer)}), (std::tuple{a, b}));
  EXPECT_EQ(answerer->errorCount, 0u);
}

TEST_F(LinkSerialTwoLinks, CommandFormAndRawBytes) {
  LinkSetSerialModes(caller, 1, 0);
  LinkSetSerialModes(answerer, 1, 0);
  ExpectMessage(caller, answerer, Frame(0x85, 0x12, {}, 0));
  ExpectMessage(answerer, caller, Frame(0x91, 0x05, {}, 0));

  LinkSetSerialModes(answerer, 0, 2);
  EXPECT_EQ(LinkWriteSerial(caller, "raw bytes", 0), 0);
  const Bytes got = Received(answerer);
  EXPECT_EQ(std::string(got.begin(), got.end()), "raw bytes");
}

// The pair has no modem lines: line states read off and the calling side of the line handshake,
// finding no peer on DSR, changes the form without waiting.
TEST_F(LinkSerialTwoLinks, LineOperationsWithoutModemLines) {
  EXPECT_EQ((std::tuple{LinkPeerPresent(answerer), LinkClearToSend(answerer), LinkCarrierDetect(answerer),
                        LinkRingIndicator(answerer)}),
            (std::tuple{0, 0, 0, 0}));
  EXPECT_EQ(LinkSetDtr(caller, 2), 0) << "raised at open, but not by a line request";
  const int raised = LinkSetDtr(caller, 1);
  EXPECT_TRUE(raised == 0 || raised == 1) << raised;  // the system's answer for a line it may not have
  EXPECT_EQ(LinkSetDtr(caller, 2), 1);
  EXPECT_EQ((std::tuple{LinkLineStatus(answerer, 4), LinkSetBreak(answerer, -1)}), (std::tuple{0, 0}));
  const auto errors = SerialErrors(answerer);
  EXPECT_EQ((std::tuple{std::get<1>(errors), std::get<2>(errors)}), (std::tuple{0, 0})) << "line errors, bytes waiting";

  LinkSetLineWatch(caller, 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(LinkSerialMode(caller, 1, 0), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(LinkGetShortFrames(caller), 1);
  LinkSetSerialModes(answerer, 1, 0);
  ExpectMessage(caller, answerer, Frame(0x86, 0x01, {}, 0));
}

TEST_F(LinkSerialTwoLinks, ReopenedPortCarriesOn) {
  LinkReopenSerial(caller);
  EXPECT_EQ(caller->comPort, pair.a() + 1);
  ExpectMessage(caller, answerer, Frame(0x94, 6, Pattern(100, 6), 6));
  ExpectMessage(answerer, caller, Frame(0x95, 7, Pattern(100, 7), 7));
}

// An object that never connected is a serial link with its port closed, as it always was.
TEST(LinkTransport, NeverConnectedObjectIsAClosedSerialLink) {
  LinkConnection* link = LinkCreate();
  uint8_t message[8];
  ASSERT_EQ(LinkBuildMessage(link, message, sizeof message, 0x90, 0, nullptr, 0), 8);
  EXPECT_EQ((std::tuple{LinkSend(link, message, 0), LinkPeerPresent(link), LinkDisconnect(link)}),
            (std::tuple{LinkErrorPortClosed, 0, 0}));
  LinkRelease(link);
}

TEST(LinkLineSocket, SocketLinksAnswerFromTheirState) {
  LinkConnection* link = LinkCreate();
  LinkSetTransport(link, &LinkSocketTransport);
  link->status = 3;
  link->connValid = 1;
  EXPECT_EQ((std::tuple{LinkPeerPresent(link), LinkCarrierDetect(link), LinkClearToSend(link), LinkSetDtr(link, 1)}),
            (std::tuple{3, 3, 3, 3}));
  EXPECT_EQ((std::tuple{LinkRingIndicator(link), LinkSetRts(link, 1), LinkSetBreak(link, 1), LinkLineStatus(link, 0)}),
            (std::tuple{0, 0, 0, 1}));
  link->listenState = -1;
  EXPECT_EQ(LinkLineStatus(link, 0), -11);
  EXPECT_EQ((std::tuple{LinkSerialMode(link, 1, 0), int{link->shortFrames}}), (std::tuple{0, 1}));
  LinkRelease(link);
  EXPECT_EQ(LinkPeerPresent(link), 0);  // released: no longer registered
  EXPECT_EQ((std::tuple{LinkSetDtr(nullptr, 1), LinkSerialMode(nullptr, 1, 0)}), (std::tuple{0, 0}));
}

}  // namespace
