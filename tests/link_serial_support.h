// Test support for serial links: opening through a connect request, sending, the errors reported, two
// links side by side, and polling the port dry.
#pragma once

#include <chrono>
#include <thread>
#include <tuple>

#include "link/link.h"
#include "link_serial.h"
#include "link_test_support.h"

namespace linkserialtest {

// Opens a serial link through a connect request ("serial" and "modem" are the same request).
inline int OpenSerial(LinkConnection* link, const char* address, int number, bool server = false) {
  return LinkConnect(link, server ? "modem" : "serial", address, number, server ? LinkFlagServer : 0);
}

inline int Send(LinkConnection* link, const Bytes& m) { return LinkSend(link, m.data(), static_cast<int>(m.size())); }

// What LinkSerialErrors reports: the last error, the line errors and the bytes waiting.
inline std::tuple<int, int, int> SerialErrors(LinkConnection* link) {
  int lastError = -1, lineErrors = -1, waiting = -1;
  LinkSerialErrors(link, &lastError, &lineErrors, &waiting);
  return {lastError, lineErrors, waiting};
}

// Two serial links, a calling side and an answering side, released at the end of the test.
class TwoSerialLinks : public ::testing::Test {
 protected:
  void TearDown() override {
    LinkRelease(caller);
    LinkRelease(answerer);
  }
  void ExpectMessage(LinkConnection* from, LinkConnection* to, const Bytes& message) {
    EXPECT_EQ(Send(from, message), 0);
    EXPECT_EQ(Received(to), message);
  }
  LinkConnection* caller = LinkCreate();
  LinkConnection* answerer = LinkCreate();
};

// Polls until the port has nothing more to give.
inline void Settle(LinkConnection* link) {
  for (int i = 0; i < 20; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    LinkPollSerial(link);
  }
}

}  // namespace linkserialtest
