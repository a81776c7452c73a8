// Test support for the link library: messages framed and received, serial links opened and side by side,
// a private working directory per test, file helpers, and connections that record into files there.
#pragma once

#include "eventually.h"
#include "link/link.h"
#include "link_record.h"
#include "link_serial.h"
#include "link_wire.h"
#include "read_file.h"
#include "scratch_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A message as the link frames it: code, subcode, length, the payload and the sequence number. It and Join
// copy byte by byte: GCC 12 warns falsely about the bounds of a vector's range insert at -O2.
inline Bytes Frame(std::uint8_t code, std::uint8_t subcode, const Bytes& payload = {}, std::uint32_t sequence = 1) {
  Bytes m{code, subcode, 0, 0};
  for (std::uint8_t b : payload) m.push_back(b);
  m.resize(m.size() + 4);
  LinkPutU16(m.data() + 2, static_cast<std::uint32_t>(m.size()));
  LinkPutU32(m.data() + m.size() - 4, sequence);
  return m;
}

inline Bytes WithLength(Bytes m, std::uint32_t length) {
  LinkPutU16(m.data() + 2, length);
  return m;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts)
    for (std::uint8_t b : part) all.push_back(b);
  return all;
}

// The next message (or raw bytes) of the selected queues within the time, else an empty vector.
inline Bytes Received(LinkConnection* link, int selector = -1, int milliseconds = 2000) {
  Bytes m(LinkReceiveBufferSize);
  int n = 0;
  Eventually([&] { return (n = LinkReceive(link, selector, m.data(), LinkReceiveBufferSize)) > 0; },
             milliseconds / 1000.0, std::chrono::milliseconds(2));
  m.resize(static_cast<std::size_t>(std::max(n, 0)));
  return m;
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

// Runs each test inside a fresh temporary directory, and back in the previous one afterwards, so that
// the files a test makes touch no other test (even where one process runs them all), and removes it.
class LinkDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    directory_ = MakeScratchDirectory("linktest");
    std::filesystem::current_path(directory_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(directory_);
  }

  static void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
  }
  static Bytes ReadFile(const std::string& name) { return ReadAll(name); }
  // A text file as a program reads it, with the platform's line ends turned into '\n'.
  static std::string ReadText(const std::string& name) { return ReadWholeText(name); }
  static bool Exists(const std::string& name) { return std::filesystem::exists(name); }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::filesystem::path directory_;

 private:
  std::filesystem::path previous_;
};

// Connections whose record files open as a connection set-up opens them, by the CMLLOG.INI that the
// test writes into its directory; released at the end of the test.
class LinkRecordTest : public LinkDirectoryTest {
 protected:
  void TearDown() override {
    ReleaseAll();
    LinkSetDebugFile(nullptr);
    LinkDirectoryTest::TearDown();
  }
  void ReleaseAll() {
    for (LinkConnection* link : links_) LinkRelease(link);
    links_.clear();
  }

  // A new client connection with both directions opened as a connection set-up does.
  LinkConnection* Opened(const char* rxTag = "CRX", const char* txTag = "CTX") {
    LinkConnection* link = LinkCreate();
    links_.push_back(link);
    LinkOpenRecord(link, LinkDirectionReceive, rxTag);
    LinkOpenRecord(link, LinkDirectionTransmit, txTag);
    return link;
  }

  // The same, under the settings the test writes first as CMLLOG.INI.
  LinkConnection* OpenedUnder(const std::string& settings, const char* rxTag = "CRX", const char* txTag = "CTX") {
    WriteFile("CMLLOG.INI", settings);
    return Opened(rxTag, txTag);
  }

  std::vector<LinkConnection*> links_;
};

inline std::uint32_t U16At(const Bytes& bytes, std::size_t at) { return LinkGetU16(&bytes[at]); }
inline std::uint32_t U32At(const Bytes& bytes, std::size_t at) { return LinkGetU32(&bytes[at]); }
