// Test support for serial links: messages framed as the link frames them, opening through a connect
// request, and receiving by polling.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>
#include <tuple>
#include <vector>

#include "link/link.h"
#include "link_serial.h"

namespace linkserialtest {

using Bytes = std::vector<uint8_t>;

// A binary-form message: code, subcode, length, the payload and the sequence number. Written byte by
// byte: GCC 12 warns falsely about the bounds of a vector's range insert at -O2.
inline Bytes Frame(uint8_t code, uint8_t subcode, const Bytes& payload, uint32_t sequence = 1) {
  const size_t length = payload.size() + 8;
  Bytes m(length);
  m[0] = code;
  m[1] = subcode;
  m[2] = static_cast<uint8_t>(length & 0xFF);
  m[3] = static_cast<uint8_t>(length >> 8);
  for (size_t i = 0; i < payload.size(); ++i) m[4 + i] = payload[i];
  for (int i = 0; i < 4; ++i) m[length - 4 + i] = static_cast<uint8_t>(sequence >> (8 * i));
  return m;
}

// The message with another length field.
inline Bytes WithLength(Bytes m, unsigned length) {
  m[2] = static_cast<uint8_t>(length & 0xFF);
  m[3] = static_cast<uint8_t>(length >> 8);
  return m;
}

// The two byte strings one after the other.
inline Bytes Join(const Bytes& a, const Bytes& b) {
  Bytes joined(a.size() + b.size());
  for (size_t i = 0; i < a.size(); ++i) joined[i] = a[i];
  for (size_t i = 0; i < b.size(); ++i) joined[a.size() + i] = b[i];
  return joined;
}

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

// Receives one message (or raw bytes), polling until it arrives or two seconds passed.
inline Bytes ReceiveMessage(LinkConnection* link, int selector = -1) {
  uint8_t buffer[LinkMaxMessageLength + 8];
  for (int i = 0; i < 400; ++i) {
    const int n = LinkReceive(link, selector, buffer, sizeof buffer);
    if (n > 0) return Bytes(buffer, buffer + n);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return {};
}

// Polls until the port has nothing more to give.
inline void Settle(LinkConnection* link) {
  for (int i = 0; i < 20; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    LinkPollSerial(link);
  }
}

}  // namespace linkserialtest
