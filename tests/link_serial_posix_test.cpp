// Serial links on this system alone: port names and numbers, and the line operations and the line
// handshake between two links joined by the simulated null-modem cable.
#include "link_serial.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "link/link.h"
#include "link_serial_support.h"
#include "null_modem.h"
#include "serial/serial_port.h"

namespace {

using namespace linkserialtest;

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

}  // namespace
