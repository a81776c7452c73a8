// Serial links on Windows: two links joined through a pair of COM ports, messages both ways in the
// binary and the two-byte command form, raw bytes, the line operations and reopening with larger queues.
#include "link_serial.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "com_pair.h"
#include "link/link.h"
#include "serial/serial_port.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Frame(uint8_t code, uint8_t subcode, size_t payloadSize, uint32_t sequence) {
  const size_t length = payloadSize + 8;
  Bytes m{code, subcode, static_cast<uint8_t>(length & 0xFF), static_cast<uint8_t>(length >> 8)};
  for (size_t i = 0; i < payloadSize; ++i) m.push_back(static_cast<uint8_t>(i * 7 + sequence));
  for (int i = 0; i < 4; ++i) m.push_back(static_cast<uint8_t>(sequence >> (8 * i)));
  return m;
}

// Receives one message (or raw bytes), polling for up to two seconds.
Bytes Receive(LinkConnection* link) {
  uint8_t buffer[LinkMaxMessageLength + 8];
  for (int i = 0; i < 400; ++i) {
    const int n = LinkReceive(link, -1, buffer, sizeof buffer);
    if (n > 0) return Bytes(buffer, buffer + n);
    Sleep(5);
  }
  return {};
}

class LinkSerialComPair : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FindComPair(pair)) GTEST_SKIP() << kNoComPair;
    caller = LinkCreate();
    answerer = LinkCreate();
    ASSERT_TRUE(caller && answerer);
    const std::string first = "COM" + std::to_string(pair.first);
    const std::string second = "com" + std::to_string(pair.second) + ":HW";
    ASSERT_EQ(LinkConnect(caller, "serial", first.c_str(), 115200, 0), 0);
    ASSERT_EQ(LinkConnect(answerer, "modem", second.c_str(), 115200, LinkFlagServer), 0);
    SerialPortDrain(pair.first - 1);
    SerialPortDrain(pair.second - 1);
  }
  void TearDown() override {
    LinkRelease(caller);
    LinkRelease(answerer);
  }
  void ExpectMessage(LinkConnection* from, LinkConnection* to, const Bytes& message) {
    EXPECT_EQ(LinkSend(from, message.data(), static_cast<int>(message.size())), 0);
    EXPECT_EQ(Receive(to), message);
  }
  ComPair pair;
  LinkConnection* caller = nullptr;
  LinkConnection* answerer = nullptr;
};

TEST_F(LinkSerialComPair, OpenedPortsAndMessagesBothWays) {
  EXPECT_EQ(caller->status, 4);
  EXPECT_EQ(caller->comPort, pair.first);
  EXPECT_EQ(caller->hwFlow, 0);
  EXPECT_EQ(answerer->comPort, pair.second);
  EXPECT_EQ(answerer->hwFlow, 1);
  ExpectMessage(caller, answerer, Frame(0x90, 1, 6, 1));
  ExpectMessage(answerer, caller, Frame(0xE0, 4, 0, 2));
  ExpectMessage(caller, answerer, Frame(0x91, 2, 1592, 3));  // the largest message
  const Bytes a = Frame(0x92, 3, 20, 4), b = Frame(0x93, 4, 30, 5);
  EXPECT_EQ(LinkSend(caller, a.data(), static_cast<int>(a.size())), 0);
  EXPECT_EQ(LinkSend(caller, b.data(), static_cast<int>(b.size())), 0);
  EXPECT_EQ(Receive(answerer), a);
  EXPECT_EQ(Receive(answerer), b);
  EXPECT_EQ(answerer->errorCount, 0u);
}

TEST_F(LinkSerialComPair, SecondLinkFindsThePortBusy) {
  LinkConnection* other = LinkCreate();
  const std::string first = "COM" + std::to_string(pair.first);
  EXPECT_EQ(LinkConnect(other, "serial", first.c_str(), 9600, 0), SerialPortOpenFailed);
  int lastError = 0, lineErrors = 0, waiting = 0;
  LinkSerialErrors(other, &lastError, &lineErrors, &waiting);
  EXPECT_EQ(lastError, ERROR_ACCESS_DENIED);
  EXPECT_EQ(lineErrors, -99);
  EXPECT_EQ(waiting, -99);
  LinkRelease(other);
}

TEST_F(LinkSerialComPair, CommandFormAndRawBytes) {
  LinkSetSerialModes(caller, 1, 0);
  LinkSetSerialModes(answerer, 1, 0);
  const Bytes command = Frame(0x85, 0x12, 0, 0);
  ExpectMessage(caller, answerer, command);
  ExpectMessage(answerer, caller, Frame(0x91, 0x05, 0, 0));

  LinkSetSerialModes(answerer, 0, 2);
  EXPECT_EQ(LinkWriteSerial(caller, "raw bytes", 0), 0);
  const Bytes got = Receive(answerer);
  EXPECT_EQ(std::string(got.begin(), got.end()), "raw bytes");
}

// The cases that hold only on joined pseudo-terminals, named so in every report.
class LinkSerialPseudoTerminalPair : public LinkSerialComPair {
 protected:
  void SetUp() override {
    if (!ComPairIsPseudoTerminals()) GTEST_SKIP() << kNotPseudoTerminals;
    LinkSerialComPair::SetUp();
  }
};

// The pair has no modem lines: line states read off and the calling side of the line handshake,
// finding no peer on DSR, changes the form without waiting.
TEST_F(LinkSerialPseudoTerminalPair, LineOperationsWithoutModemLines) {
  EXPECT_EQ(LinkPeerPresent(answerer), 0);
  EXPECT_EQ(LinkClearToSend(answerer), 0);
  EXPECT_EQ(LinkCarrierDetect(answerer), 0);
  EXPECT_EQ(LinkRingIndicator(answerer), 0);
  EXPECT_EQ(LinkSetDtr(caller, 2), 0);  // raised at open, but not by a line request
  const int raised = LinkSetDtr(caller, 1);
  EXPECT_TRUE(raised == 0 || raised == 1) << raised;  // the system's answer for a line it may not have
  EXPECT_EQ(LinkSetDtr(caller, 2), 1);
  EXPECT_EQ(LinkLineStatus(answerer, 4), 0);
  EXPECT_EQ(LinkSetBreak(answerer, -1), 0);
  int lastError = -1, lineErrors = -1, waiting = -1;
  LinkSerialErrors(answerer, &lastError, &lineErrors, &waiting);
  EXPECT_EQ(lineErrors, 0);
  EXPECT_EQ(waiting, 0);

  LinkSetLineWatch(caller, 1);
  const DWORD start = GetTickCount();
  EXPECT_EQ(LinkSerialMode(caller, 1, 0), 0);
  EXPECT_LT(GetTickCount() - start, 500u);
  EXPECT_EQ(LinkGetShortFrames(caller), 1);
  LinkSetSerialModes(answerer, 1, 0);
  ExpectMessage(caller, answerer, Frame(0x86, 0x01, 0, 0));
}

TEST_F(LinkSerialComPair, ReopenedPortCarriesOn) {
  LinkReopenSerial(caller);
  EXPECT_EQ(caller->comPort, pair.first);
  ExpectMessage(caller, answerer, Frame(0x94, 6, 100, 6));
  ExpectMessage(answerer, caller, Frame(0x95, 7, 100, 7));
}

}  // namespace
