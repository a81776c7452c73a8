// Serial links: opening, the three receive forms over a pseudo-terminal, sending, the line
// operations of both link kinds and the line handshake between two links joined by a null-modem cable.
#include "link_serial.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "link/link.h"
#include "link_queue.h"
#include "link_socket_support.h"
#include "link_transport.h"
#include "serial/serial_port.h"
#include "null_modem.h"
#include "serial_test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Frame(uint8_t code, uint8_t subcode, const Bytes& payload, uint32_t sequence = 1) {
  const size_t length = payload.size() + 8;
  Bytes m{code, subcode, static_cast<uint8_t>(length & 0xFF), static_cast<uint8_t>(length >> 8)};
  m.insert(m.end(), payload.begin(), payload.end());
  for (int i = 0; i < 4; ++i) m.push_back(static_cast<uint8_t>(sequence >> (8 * i)));
  return m;
}

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Opens a serial link through a connect request ("serial" and "modem" are the same request).
int OpenSerial(LinkConnection* link, const char* address, int number, bool server = false) {
  return LinkConnect(link, server ? "modem" : "serial", address, number, server ? LinkFlagServer : 0);
}

// Receives one message, polling until it arrives or a second passed.
Bytes ReceiveMessage(LinkConnection* link, int selector = -1) {
  uint8_t buffer[LinkMaxMessageLength + 8];
  for (int i = 0; i < 200; ++i) {
    const int n = LinkReceive(link, selector, buffer, sizeof buffer);
    if (n > 0) return Bytes(buffer, buffer + n);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return {};
}

// Polls until the port has nothing more to give.
void Settle(LinkConnection* link) {
  for (int i = 0; i < 20; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    LinkPollSerial(link);
  }
}

class LinkSerialPty : public ::testing::Test {
 protected:
  void SetUp() override {
    root.link(3, pty.slavePath());
    link = LinkCreate();
    ASSERT_NE(link, nullptr);
    ASSERT_EQ(OpenSerial(link, "COM3", 115200), 0);
  }
  void TearDown() override { LinkRelease(link); }
  // Sends bytes from the peer and waits until the link's port has them.
  void Arrive(const Bytes& bytes) {
    pty.send(bytes);
    for (int i = 0; i < 200 && SerialPortInQueue(2) < static_cast<int>(bytes.size()); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ComRoot root;
  PtyPair pty;
  LinkConnection* link = nullptr;
};

TEST_F(LinkSerialPty, BinaryMessagesAcrossPollsAndTwoInOneChunk) {
  EXPECT_EQ(link->status, 4);
  EXPECT_EQ(link->comPort, 3);
  const Bytes first = Frame(0x90, 1, {1, 2, 3, 4, 5, 6});
  Arrive(Bytes(first.begin(), first.begin() + 5));
  EXPECT_EQ(PollSerialLine(link), 0);
  EXPECT_EQ(link->rawCount, 5);
  Arrive(Bytes(first.begin() + 5, first.end()));
  EXPECT_EQ(ReceiveMessage(link), first);

  const Bytes a = Frame(0x91, 2, Pattern(100)), b = Frame(0x92, 3, Pattern(1592), 2);
  ASSERT_EQ(b.size(), 1600u);
  Arrive(Join(a, b));
  EXPECT_EQ(PollSerialLine(link), 1);  // one message per poll
  EXPECT_EQ(PollSerialLine(link), 1);
  EXPECT_EQ(ReceiveMessage(link), a);
  EXPECT_EQ(ReceiveMessage(link), b);
  EXPECT_EQ(link->rawCount, 0);
  EXPECT_EQ(link->errorCount, 0u);
}

TEST_F(LinkSerialPty, MessagesGoToTheQueueOfTheirClass) {
  LinkSetClass(link, 0xA0, 0xA0, 1);
  Arrive(Join(Frame(0xA0, 1, {7}), Frame(0x85, 1, {8})));
  Settle(link);
  EXPECT_EQ(LinkPending(link, 1), 2);
  EXPECT_EQ(LinkPending(link, 0), 1);
  EXPECT_EQ(ReceiveMessage(link, 1)[0], 0xA0);
  EXPECT_EQ(ReceiveMessage(link, 0)[0], 0x85);
}

TEST_F(LinkSerialPty, RejectedFramesDropWhatIsHeldAndCount) {
  const Bytes good = Frame(0x81, 0, {9});
  Bytes highSubcode = Frame(0x81, 0x80, {1});
  Bytes seven = Frame(0x81, 0, {});
  seven[2] = 7;
  Bytes tooLong = Frame(0x81, 0, {});
  tooLong[2] = 1601 & 0xFF;
  tooLong[3] = 1601 >> 8;
  Bytes lowCode = Frame(0x10, 0, {});
  uint32_t errors = 0;
  for (const Bytes& bad : {highSubcode, seven, tooLong, lowCode}) {
    Arrive(Join(bad, good));  // the good frame shares the bad frame's chunk and goes with it
    EXPECT_EQ(PollSerialLine(link), 0);
    EXPECT_EQ(link->rawCount, 0);
    EXPECT_EQ(link->errorCount, ++errors);
    EXPECT_EQ(LinkPending(link, -1), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // past the hold-off
    Arrive(good);
    EXPECT_EQ(ReceiveMessage(link), good);
  }
}

TEST_F(LinkSerialPty, TwoByteCommandsAndTextBlocks) {
  LinkSetSerialModes(link, 1, 0);
  EXPECT_NE(LinkGetShortFrames(link), 0);
  Arrive({0x85, 0x12});
  EXPECT_EQ(ReceiveMessage(link), (Bytes{0x85, 0x12, 8, 0, 0, 0, 0, 0}));
  Arrive({0x80, 0x03, 0x41, 0x42, 0x00});
  EXPECT_EQ(ReceiveMessage(link), (Bytes{0x80, 0x03, 14, 0, 0, 0, 0, 0, 0x41, 0x42, 0, 0, 0, 0}));
  Arrive({0x80, 0x03, 0x41, 0x91, 0x05});
  EXPECT_EQ(ReceiveMessage(link), (Bytes{0x80, 0x03, 13, 0, 0, 0, 0, 0, 0x41, 0, 0, 0, 0}));
  EXPECT_EQ(ReceiveMessage(link), (Bytes{0x91, 0x05, 8, 0, 0, 0, 0, 0}));
  // Argument bytes without a command, and a command replaced before its argument.
  Arrive({0x11, 0x22, 0x86, 0x87, 0x33});
  EXPECT_EQ(ReceiveMessage(link), (Bytes{0x87, 0x33, 8, 0, 0, 0, 0, 0}));
  EXPECT_EQ(LinkPending(link, -1), 0);
  EXPECT_EQ(link->errorCount, 0u);
}

TEST_F(LinkSerialPty, TextBlockLongerThanASlotIsCutAndCounted) {
  LinkSetSerialModes(link, 1, 0);
  Bytes block{0x80, 0x07};
  const Bytes text(2500, 'x');
  block.insert(block.end(), text.begin(), text.end());
  block.push_back(0);
  Arrive(block);
  Settle(link);
  const Bytes m = ReceiveMessage(link);
  ASSERT_EQ(m.size(), static_cast<size_t>(LinkQueueSlotSize));
  EXPECT_EQ(m[2] | (m[3] << 8), LinkQueueSlotSize);
  EXPECT_EQ(m[LinkQueueSlotSize - 5], 'x');
  EXPECT_EQ(m[LinkQueueSlotSize - 4], 0);
  EXPECT_EQ(link->errorCount, 1u);
}

TEST_F(LinkSerialPty, RawBytesAndAFullReceiveArea) {
  link->rawMode = 1;
  const Bytes bytes = Pattern(3950, 4);
  Arrive(bytes);
  EXPECT_EQ(PollSerialLine(link), 2000);
  EXPECT_EQ(PollSerialLine(link), 1950);
  Arrive({1, 2, 3});
  EXPECT_EQ(PollSerialLine(link), 0);  // fewer than 100 bytes free: nothing is read
  EXPECT_EQ(link->rawCount, 3950);
  EXPECT_EQ(SerialPortInQueue(2), 3);
  EXPECT_EQ(LinkPending(link, 0), 1);
  uint8_t buffer[4000];
  EXPECT_EQ(LinkReceive(link, 0, buffer, 1000), 1000);
  EXPECT_TRUE(std::equal(buffer, buffer + 1000, bytes.begin()));
  EXPECT_EQ(LinkReceive(link, 0, buffer, sizeof buffer), 2953);  // the poll took the three waiting bytes
  EXPECT_TRUE(std::equal(buffer, buffer + 2950, bytes.begin() + 1000));
  EXPECT_EQ(buffer[2952], 3);
  EXPECT_EQ(LinkReceive(link, 0, buffer, sizeof buffer), 0);
  EXPECT_EQ(LinkPending(link, 0), 0);
}

TEST_F(LinkSerialPty, SendingInEachForm) {
  const Bytes m = Frame(0x90, 4, {1, 2, 3});
  EXPECT_EQ(LinkSend(link, m.data(), static_cast<int>(m.size())), 0);
  EXPECT_EQ(pty.receive(m.size()), m);
  LinkSetSerialModes(link, 1, 0);
  EXPECT_EQ(LinkSend(link, m.data(), static_cast<int>(m.size())), 0);
  EXPECT_EQ(pty.receive(2), (Bytes{0x90, 4}));
  // A text block: code 128, data count at offset 6, a terminating zero added when missing.
  Bytes text{0x80, 5, 13, 0, 0, 0, 3, 0, 'a', 'b', 'c', 0, 0};
  EXPECT_EQ(LinkSend(link, text.data(), static_cast<int>(text.size())), 0);
  EXPECT_EQ(pty.receive(6), (Bytes{0x80, 5, 'a', 'b', 'c', 0}));
  text[6] = 200;  // a count past the message's end is held to the message
  EXPECT_EQ(LinkSend(link, text.data(), static_cast<int>(text.size())), 0);
  EXPECT_EQ(pty.receive(8, 200), (Bytes{0x80, 5, 'a', 'b', 'c', 0, 0}));
  EXPECT_EQ(LinkWriteSerial(link, "hello", 0), 0);
  EXPECT_EQ(pty.receive(5), (Bytes{'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(LinkDisconnect(link), 1);
  EXPECT_EQ(link->status, 0);
  EXPECT_EQ(LinkWriteSerial(link, "x", 1), 1);
  EXPECT_EQ(PollSerialLine(link), 0);
}

TEST_F(LinkSerialPty, SecondLinkToTheSamePortFindsItBusy) {
  LinkConnection* other = LinkCreate();
  EXPECT_EQ(OpenSerial(other, "COM3", 9600), SerialPortOpenFailed);
  int lastError = 0, lineErrors = 0, waiting = 0;
  LinkSerialErrors(other, &lastError, &lineErrors, &waiting);
  EXPECT_EQ(lastError, 5);
  EXPECT_EQ(lineErrors, -99);
  EXPECT_EQ(waiting, -99);
  LinkRelease(other);
}

TEST_F(LinkSerialPty, ConnectingAgainWithoutDisconnectReopensThePort) {
  ASSERT_EQ(OpenSerial(link, "COM3", 9600), 0);
  EXPECT_EQ(link->comPort, 3);
  EXPECT_EQ(link->baud, 9600u);
  const Bytes message = Frame(0x90, 1, {7});
  Arrive(message);
  EXPECT_EQ(ReceiveMessage(link), message);
}

// Each connect request chooses the link's transport: connecting as another kind closes the earlier port
// first, and a request of no known kind keeps the transport it had.
TEST_F(LinkSerialPty, ConnectingAsAnotherKindClosesThePortAndChangesTheTransport) {
  uint8_t lowCode[8];
  ASSERT_EQ(LinkBuildMessage(link, lowCode, sizeof lowCode, 0x20, 0, nullptr, 0), 8);
  ASSERT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", linktest::FreeTPort(), 0), 0);
  EXPECT_EQ(link->comPort, 0);
  LinkConnection* next = LinkCreate();
  EXPECT_EQ(OpenSerial(next, "COM3", 115200), 0) << "the port is free for another link";
  LinkRelease(next);
  EXPECT_EQ(LinkSend(link, lowCode, 0), LinkErrorLowCode) << "a socket link sends codes of 128 and above only";
  EXPECT_EQ(LinkConnect(link, "pigeon", "COM3", 0, 0), LinkErrorUnknownKind);
  EXPECT_EQ(LinkSend(link, lowCode, 0), LinkErrorLowCode);
  ASSERT_EQ(OpenSerial(link, "COM3", 115200), 0);
  EXPECT_EQ(LinkSend(link, lowCode, 0), 0) << "a serial link writes any code";
  EXPECT_EQ(pty.receive(8), Bytes(lowCode, lowCode + 8));
}

// An object that never connected is a serial link with its port closed, as it always was.
TEST(LinkTransport, NeverConnectedObjectIsAClosedSerialLink) {
  LinkConnection* link = LinkCreate();
  uint8_t message[8];
  ASSERT_EQ(LinkBuildMessage(link, message, sizeof message, 0x90, 0, nullptr, 0), 8);
  EXPECT_EQ(LinkSend(link, message, 0), LinkErrorPortClosed);
  EXPECT_EQ(LinkPeerPresent(link), 0);
  EXPECT_EQ(LinkDisconnect(link), 0);
  LinkRelease(link);
}

TEST(LinkSerialOpen, AddressesAndPortNumbers) {
  null_modem::Install(2, 11);
  LinkConnection* link = LinkCreate();
  EXPECT_EQ(OpenSerial(link, "NET5", 0), 4);
  EXPECT_EQ(OpenSerial(link, "COM", 0), 2);
  EXPECT_EQ(OpenSerial(link, "COM0", 0), 2);
  EXPECT_EQ(link->comPort, 0);
  EXPECT_EQ(OpenSerial(link, "com12", 0), 0);
  EXPECT_EQ(link->comPort, 12);
  LinkDisconnect(link);
  EXPECT_FALSE(null_modem::Open(11));

  ASSERT_EQ(OpenSerial(link, "COM3:HW", 0), 0);
  EXPECT_EQ(link->comPort, 3);
  EXPECT_EQ(link->status, 4);
  EXPECT_EQ(link->hwFlow, 1);
  EXPECT_EQ(link->baud, 9600u);
  EXPECT_EQ(link->altBaud, 9600u);
  EXPECT_EQ(null_modem::Baud(2), 9600u);
  EXPECT_TRUE(null_modem::HardwareFlow(2));
  EXPECT_TRUE(null_modem::Dtr(2));
  LinkReopenSerial(link);  // larger queues, same settings
  EXPECT_TRUE(null_modem::Open(2));
  EXPECT_TRUE(null_modem::HardwareFlow(2));
  LinkDisconnect(link);

  EXPECT_EQ(OpenSerial(link, "COM5", 57600), SerialPortOpenFailed);  // not on the cable
  int lastError = 0;
  LinkSerialErrors(link, &lastError, nullptr, nullptr);
  EXPECT_EQ(lastError, 2);
  EXPECT_EQ(OpenSerial(link, "COM40", 5), SerialPortBadIndex);
  EXPECT_EQ(link->requestedBaud, 9600u);  // a number from 1 to 9 is a baud code
  LinkRelease(link);
  null_modem::Uninstall();
}

// Two links joined by the cable: COM1 (calling side) and COM2 (answering side).
class LinkSerialCable : public ::testing::Test {
 protected:
  void SetUp() override {
    null_modem::Install(0, 1);
    caller = LinkCreate();
    answerer = LinkCreate();
    ASSERT_EQ(OpenSerial(caller, "COM1", 57600), 0);
    ASSERT_EQ(OpenSerial(answerer, "COM2", 57600, true), 0);
  }
  void TearDown() override {
    LinkRelease(caller);
    LinkRelease(answerer);
    null_modem::Uninstall();
  }
  LinkConnection* caller = nullptr;
  LinkConnection* answerer = nullptr;
};

TEST_F(LinkSerialCable, LineOperationsOnBothEnds) {
  EXPECT_EQ(LinkSetDtr(caller, 0), 1);
  EXPECT_EQ(LinkPeerPresent(answerer), 0);
  EXPECT_EQ(LinkCarrierDetect(answerer), 0);
  EXPECT_EQ(LinkSetDtr(caller, 1), 1);
  EXPECT_EQ(LinkSetDtr(caller, 7), 1);  // any other mode reads the flag
  EXPECT_NE(LinkPeerPresent(answerer), 0);
  EXPECT_NE(LinkCarrierDetect(answerer), 0);
  EXPECT_EQ(LinkSetRts(caller, 0), 1);
  EXPECT_EQ(LinkClearToSend(answerer), 0);
  EXPECT_EQ(LinkSetRts(caller, 1), 1);
  EXPECT_EQ(LinkSetRts(caller, 2), 2);
  EXPECT_NE(LinkClearToSend(answerer), 0);
  EXPECT_EQ(LinkRingIndicator(answerer), 0);

  EXPECT_EQ(LinkSetBreak(caller, 1), 1);
  EXPECT_EQ(LinkSetBreak(caller, 0), 1);
  EXPECT_EQ(LinkSetBreak(answerer, -1), 16);
  EXPECT_EQ(LinkSetBreak(answerer, -1), 0);
  null_modem::InjectErrors(1, 1 | 4);
  EXPECT_EQ(LinkLineStatus(answerer, 2), 4);
  EXPECT_EQ(LinkLineStatus(answerer, 0), 0);  // reading cleared all flags
  null_modem::InjectErrors(1, 8);
  int lastError = 0, lineErrors = 0, waiting = -1;
  LinkSerialErrors(answerer, &lastError, &lineErrors, &waiting);
  EXPECT_EQ(lineErrors, 8);
  EXPECT_EQ(waiting, 0);

  const std::intptr_t slot = LinkHandleSlot(5, 1);
  LinkConnection* byHandle = LinkFromHandle(5);
  ASSERT_EQ(slot, reinterpret_cast<std::intptr_t>(byHandle));
  ASSERT_EQ(OpenSerial(byHandle, "COM2", 0), SerialPortOpenFailed);  // the answerer holds COM2
  LinkDisconnect(answerer);
  ASSERT_EQ(OpenSerial(byHandle, "COM2", 0), 0);
  EXPECT_NE(LinkPeerPresentByHandle(5), 0);
  EXPECT_NE(LinkClearToSendByHandle(5), 0);
  EXPECT_NE(LinkCarrierDetectByHandle(5), 0);
  EXPECT_EQ(LinkRingIndicatorByHandle(5), 0);
  EXPECT_EQ(LinkSetDtrByHandle(5, 1), 1);
  EXPECT_NE(LinkPeerPresent(caller), 0);
  EXPECT_EQ(LinkSetRtsByHandle(5, 1), 1);
  EXPECT_EQ(LinkSetBreakByHandle(5, 1), 1);
  EXPECT_EQ(LinkSetBreakByHandle(5, 0), 1);
  EXPECT_EQ(LinkLineStatusByHandle(5, 4), 0);
  EXPECT_EQ(LinkSetBreak(caller, -1), 16);
  EXPECT_EQ(LinkPeerPresentByHandle(6), 0);  // an empty handle
  LinkHandleSlot(5, -1);
}

TEST_F(LinkSerialCable, LineErrorsDropTheChunkAndHoldOff) {
  const Bytes m = Frame(0x90, 1, {1, 2});
  LinkSend(caller, m.data(), static_cast<int>(m.size()));
  null_modem::InjectErrors(1, 8);
  EXPECT_EQ(PollSerialLine(answerer), 0);
  EXPECT_EQ(answerer->errorCount, 1u);
  EXPECT_EQ(answerer->rawCount, 0);
  EXPECT_EQ(LinkPending(answerer, -1), 0);
  LinkSend(caller, m.data(), static_cast<int>(m.size()));  // within 2 ms of the error: held back
  EXPECT_EQ(PollSerialLine(answerer), 0);
  EXPECT_EQ(answerer->rawCount, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  LinkSend(caller, m.data(), static_cast<int>(m.size()));
  EXPECT_EQ(ReceiveMessage(answerer), m);
  EXPECT_EQ(answerer->errorCount, 1u);

  answerer->rawMode = 1;  // raw bytes survive line errors and are not counted
  LinkWriteSerial(caller, "abc", 3);
  null_modem::InjectErrors(1, 2);
  EXPECT_EQ(PollSerialLine(answerer), 3);
  EXPECT_EQ(answerer->errorCount, 1u);
}

// Polls the answering side often, as an application must while the peer switches forms.
class AnsweringPoller {
 public:
  explicit AnsweringPoller(LinkConnection* link)
      : thread_([this, link] {
          while (!stop_) {
            LinkPending(link, -1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
        }) {}
  ~AnsweringPoller() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(LinkSerialCable, HandshakeSwitchesBothEndsBetweenForms) {
  LinkSetLineWatch(caller, 1);
  LinkSetLineWatch(answerer, 1);
  LinkSetDtr(caller, 1);
  {
    AnsweringPoller poller(answerer);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(LinkSerialMode(caller, 1, 0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  EXPECT_EQ(caller->shortFrames, 1);
  EXPECT_EQ(answerer->shortFrames, 1);
  EXPECT_EQ(null_modem::Baud(0), 9600u);
  EXPECT_EQ(null_modem::Baud(1), 9600u);
  EXPECT_EQ(answerer->baud, 9600u);

  const Bytes command = Frame(0x88, 0x21, {});
  EXPECT_EQ(LinkSend(caller, command.data(), 8), 0);
  EXPECT_EQ(ReceiveMessage(answerer), (Bytes{0x88, 0x21, 8, 0, 0, 0, 0, 0}));

  {
    AnsweringPoller poller(answerer);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(LinkSerialMode(caller, 0, 0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  EXPECT_EQ(caller->shortFrames, 0);
  EXPECT_EQ(answerer->shortFrames, 0);
  EXPECT_EQ(null_modem::Baud(0), 57600u);
  EXPECT_EQ(null_modem::Baud(1), 57600u);
  const Bytes message = Frame(0x90, 2, {5, 6, 7});
  EXPECT_EQ(LinkSend(caller, message.data(), static_cast<int>(message.size())), 0);
  EXPECT_EQ(ReceiveMessage(answerer), message);
}

TEST_F(LinkSerialCable, PeerThatDoesNotAnswerLeavesTheSettingsAlone) {
  LinkSetLineWatch(caller, 1);
  EXPECT_EQ(LinkSerialMode(caller, 1, 0), 0);  // DSR on, but the peer never drops DTR in answer
  EXPECT_EQ(null_modem::Baud(0), 57600u);
  LinkSetDtr(answerer, 0);
  EXPECT_EQ(LinkSerialMode(caller, 1, 0), 0);  // DSR off: nobody to hand shake with
  EXPECT_EQ(null_modem::Baud(0), 57600u);
  EXPECT_EQ(caller->shortFrames, 1);
  EXPECT_FALSE(null_modem::Rts(0));  // the wanted form is still announced on RTS
  LinkSetLineWatch(caller, 0);
  EXPECT_EQ(LinkSerialMode(caller, 0, 19200), 0);  // no handshake asked: applied at once
  EXPECT_EQ(null_modem::Baud(0), 19200u);
  EXPECT_TRUE(null_modem::Rts(0));
}

TEST(LinkLineSocket, SocketLinksAnswerFromTheirState) {
  LinkConnection* link = LinkCreate();
  LinkSetTransport(link, &LinkSocketTransport);
  link->status = 3;
  link->connValid = 1;
  EXPECT_EQ(LinkPeerPresent(link), 3);
  EXPECT_EQ(LinkCarrierDetect(link), 3);
  EXPECT_EQ(LinkClearToSend(link), 3);
  EXPECT_EQ(LinkSetDtr(link, 1), 3);
  EXPECT_EQ(LinkRingIndicator(link), 0);
  EXPECT_EQ(LinkSetRts(link, 1), 0);
  EXPECT_EQ(LinkSetBreak(link, 1), 0);
  EXPECT_EQ(LinkLineStatus(link, 0), 1);
  link->listenState = -1;
  EXPECT_EQ(LinkLineStatus(link, 0), -11);
  EXPECT_EQ(LinkSerialMode(link, 1, 0), 0);
  EXPECT_EQ(link->shortFrames, 1);
  LinkRelease(link);
  EXPECT_EQ(LinkPeerPresent(link), 0);  // released: no longer registered
  EXPECT_EQ(LinkSetDtr(nullptr, 1), 0);
  EXPECT_EQ(LinkSerialMode(nullptr, 1, 0), 0);
}

}  // namespace
