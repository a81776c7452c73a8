// Serial links on this system alone: port names and numbers, and the line operations and the line
// handshake between two links joined by the simulated null-modem cable.
#include "link_serial.h"

#include <gtest/gtest.h>

#include <atomic>

#include "link/link.h"
#include "link_test_support.h"
#include "null_modem.h"
#include "serial/serial_port.h"

namespace {

TEST(LinkSerialOpen, AddressesAndPortNumbers) {
  null_modem::Install(2, 11);
  LinkConnection* link = LinkCreate();
  EXPECT_EQ((std::tuple{OpenSerial(link, "NET5", 0), OpenSerial(link, "COM", 0), OpenSerial(link, "COM0", 0)}),
            (std::tuple{4, 2, 2}));
  EXPECT_EQ(link->comPort, 0);
  EXPECT_EQ(OpenSerial(link, "com12", 0), 0);
  EXPECT_EQ(link->comPort, 12);
  LinkDisconnect(link);
  EXPECT_FALSE(null_modem::Open(11));

  ASSERT_EQ(OpenSerial(link, "COM3:HW", 0), 0);
  EXPECT_EQ((std::tuple{int{link->comPort}, int{link->status}, int{link->hwFlow}}), (std::tuple{3, 4, 1}));
  EXPECT_EQ((std::tuple{link->baud, link->altBaud, null_modem::Baud(2)}), (std::tuple{9600u, 9600u, 9600u}));
  EXPECT_TRUE(null_modem::HardwareFlow(2) && null_modem::Dtr(2));
  LinkReopenSerial(link);  // larger queues, same settings
  EXPECT_TRUE(null_modem::Open(2) && null_modem::HardwareFlow(2));
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
class LinkSerialCable : public TwoSerialLinks {
 protected:
  void SetUp() override {
    null_modem::Install(0, 1);
    ASSERT_EQ(OpenSerial(caller, "COM1", 57600), 0);
    ASSERT_EQ(OpenSerial(answerer, "COM2", 57600, true), 0);
  }
  void TearDown() override {
    TwoSerialLinks::TearDown();
    null_modem::Uninstall();
  }
};

TEST_F(LinkSerialCable, LineOperationsOnBothEnds) {
  // Each request's answer, then what the far end sees; the lines cross the cable.
  EXPECT_EQ((std::tuple{LinkSetDtr(caller, 0), LinkPeerPresent(answerer), LinkCarrierDetect(answerer)}),
            (std::tuple{1, 0, 0}));
  EXPECT_EQ((std::tuple{LinkSetDtr(caller, 1), LinkSetDtr(caller, 7)}), (std::tuple{1, 1})) << "7 reads the flag";
  EXPECT_TRUE(LinkPeerPresent(answerer) != 0 && LinkCarrierDetect(answerer) != 0);
  EXPECT_EQ((std::tuple{LinkSetRts(caller, 0), LinkClearToSend(answerer)}), (std::tuple{1, 0}));
  EXPECT_EQ((std::tuple{LinkSetRts(caller, 1), LinkSetRts(caller, 2)}), (std::tuple{1, 2}));
  EXPECT_NE(LinkClearToSend(answerer), 0);
  EXPECT_EQ(LinkRingIndicator(answerer), 0);

  EXPECT_EQ((std::tuple{LinkSetBreak(caller, 1), LinkSetBreak(caller, 0)}), (std::tuple{1, 1}));
  EXPECT_EQ((std::tuple{LinkSetBreak(answerer, -1), LinkSetBreak(answerer, -1)}), (std::tuple{16, 0}));
  null_modem::InjectErrors(1, 1 | 4);
  EXPECT_EQ((std::tuple{LinkLineStatus(answerer, 2), LinkLineStatus(answerer, 0)}), (std::tuple{4, 0}))
      << "reading cleared all flags";
  null_modem::InjectErrors(1, 8);
  const auto errors = SerialErrors(answerer);
  EXPECT_EQ((std::tuple{std::get<1>(errors), std::get<2>(errors)}), (std::tuple{8, 0})) << "line errors, bytes waiting";

  const std::intptr_t slot = LinkHandleSlot(5, 1);
  LinkConnection* byHandle = LinkFromHandle(5);
  ASSERT_EQ(slot, reinterpret_cast<std::intptr_t>(byHandle));
  ASSERT_EQ(OpenSerial(byHandle, "COM2", 0), SerialPortOpenFailed);  // the answerer holds COM2
  LinkDisconnect(answerer);
  ASSERT_EQ(OpenSerial(byHandle, "COM2", 0), 0);
  EXPECT_TRUE(LinkPeerPresentByHandle(5) != 0 && LinkClearToSendByHandle(5) != 0 && LinkCarrierDetectByHandle(5) != 0);
  EXPECT_EQ((std::tuple{LinkRingIndicatorByHandle(5), LinkSetDtrByHandle(5, 1)}), (std::tuple{0, 1}));
  EXPECT_NE(LinkPeerPresent(caller), 0);
  EXPECT_EQ((std::tuple{LinkSetRtsByHandle(5, 1), LinkSetBreakByHandle(5, 1), LinkSetBreakByHandle(5, 0)}),
            (std::tuple{1, 1, 1}));
  EXPECT_EQ((std::tuple{LinkLineStatusByHandle(5, 4), LinkSetBreak(caller, -1)}), (std::tuple{0, 16}));
  EXPECT_EQ(LinkPeerPresentByHandle(6), 0);  // an empty handle
  LinkHandleSlot(5, -1);
}

TEST_F(LinkSerialCable, LineErrorsDropTheChunkAndHoldOff) {
  const Bytes m = Frame(0x90, 1, {1, 2});
  Send(caller, m);
  null_modem::InjectErrors(1, 8);
  EXPECT_EQ(PollSerialLine(answerer), 0);
  EXPECT_EQ((std::tuple{answerer->errorCount, answerer->rawCount, LinkPending(answerer, -1)}), (std::tuple{1u, 0, 0}));
  Send(caller, m);  // within 2 ms of the error: held back
  EXPECT_EQ((std::tuple{PollSerialLine(answerer), answerer->rawCount}), (std::tuple{0, 0}));
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  Send(caller, m);
  EXPECT_EQ((std::tuple{Received(answerer), answerer->errorCount}), (std::tuple{m, 1u}));

  answerer->rawMode = 1;  // raw bytes survive line errors and are not counted
  LinkWriteSerial(caller, "abc", 3);
  null_modem::InjectErrors(1, 2);
  EXPECT_EQ((std::tuple{PollSerialLine(answerer), answerer->errorCount}), (std::tuple{3, 1u}));
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
  // The caller asks for a form while the answering side is polled; both ends then use it.
  auto switchTo = [&](int shortFrames) {
    AnsweringPoller poller(answerer);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(LinkSerialMode(caller, shortFrames, 0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  };
  switchTo(1);
  EXPECT_EQ((std::tuple{int{caller->shortFrames}, int{answerer->shortFrames}}), (std::tuple{1, 1}));
  EXPECT_EQ((std::tuple{null_modem::Baud(0), null_modem::Baud(1), answerer->baud}), (std::tuple{9600u, 9600u, 9600u}));
  EXPECT_EQ(LinkSend(caller, Frame(0x88, 0x21, {}).data(), 8), 0);
  EXPECT_EQ(Received(answerer), (Bytes{0x88, 0x21, 8, 0, 0, 0, 0, 0}));

  switchTo(0);
  EXPECT_EQ((std::tuple{int{caller->shortFrames}, int{answerer->shortFrames}}), (std::tuple{0, 0}));
  EXPECT_EQ((std::tuple{null_modem::Baud(0), null_modem::Baud(1)}), (std::tuple{57600u, 57600u}));
  ExpectMessage(caller, answerer, Frame(0x90, 2, {5, 6, 7}));
}

TEST_F(LinkSerialCable, PeerThatDoesNotAnswerLeavesTheSettingsAlone) {
  LinkSetLineWatch(caller, 1);
  EXPECT_EQ(LinkSerialMode(caller, 1, 0), 0);  // DSR on, but the peer never drops DTR in answer
  EXPECT_EQ(null_modem::Baud(0), 57600u);
  LinkSetDtr(answerer, 0);
  EXPECT_EQ(LinkSerialMode(caller, 1, 0), 0);  // DSR off: nobody to hand shake with
  EXPECT_EQ((std::tuple{null_modem::Baud(0), int{caller->shortFrames}}), (std::tuple{57600u, 1}));
  EXPECT_FALSE(null_modem::Rts(0));  // the wanted form is still announced on RTS
  LinkSetLineWatch(caller, 0);
  EXPECT_EQ(LinkSerialMode(caller, 0, 19200), 0);  // no handshake asked: applied at once
  EXPECT_EQ(null_modem::Baud(0), 19200u);
  EXPECT_TRUE(null_modem::Rts(0));
}

}  // namespace
