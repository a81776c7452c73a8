// The two COM ports, joined like a null-modem cable, that the test session offers in
// TAVIK_TEST_COM_PAIR ("5 6"), and what they are made of; tests of real ports skip when it names none.
// Windows tests only: it opens the ports through the comm API.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "serial/serial_port.h"

struct ComPair {
  int first = 0, second = 0;  // COM numbers, 1 to 32
};

constexpr const char* kNoComPair =
    "TAVIK_TEST_COM_PAIR names no pair of joined COM ports (tests/wine_session.sh sets one up)";

inline bool FindComPair(ComPair& pair) {
  const char* text = std::getenv("TAVIK_TEST_COM_PAIR");
  if (!text || std::sscanf(text, "%d %d", &pair.first, &pair.second) != 2) return false;
  return pair.first >= 1 && pair.first <= 32 && pair.second >= 1 && pair.second <= 32 && pair.first != pair.second;
}

inline std::string ComDeviceName(int com) { return "\\\\.\\COM" + std::to_string(com); }

inline HANDLE OpenComDevice(int com) {
  return CreateFileA(ComDeviceName(com).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// What the session says its pair is made of (TAVIK_TEST_COM_PAIR_KIND): "pty" for two pseudo-terminals
// joined by socat, which have no modem lines and stall a writer as soon as the peer stops reading. A
// real cable behaves otherwise, so tests that hold only on such a pair skip where it is not one.
constexpr const char* kNotPseudoTerminals =
    "holds only on a pair of joined pseudo-terminals (no modem lines, a writer stalls at once); "
    "TAVIK_TEST_COM_PAIR_KIND is not \"pty\"";

inline bool ComPairIsPseudoTerminals() {
  const char* kind = std::getenv("TAVIK_TEST_COM_PAIR_KIND");
  return kind != nullptr && std::string(kind) == "pty";
}

constexpr const char* kSharedComPorts =
    "this system lets a second program open a COM port already in use (Wine does): no port can be busy";

// Whether the system refuses a second open of a COM port that is open already, as Windows does.
inline bool SystemKeepsComPortsExclusive(int com) {
  HANDLE first = OpenComDevice(com);
  if (first == INVALID_HANDLE_VALUE) return false;
  HANDLE second = OpenComDevice(com);
  const bool exclusive = second == INVALID_HANDLE_VALUE;
  if (!exclusive) CloseHandle(second);
  CloseHandle(first);
  return exclusive;
}

// The pair as driver indexes a and b (COM number less one), skipped without one, closed after each case.
class ComPairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FindComPair(pair)) GTEST_SKIP() << kNoComPair;
    a = pair.first - 1;
    b = pair.second - 1;
  }
  void TearDown() override {
    if (a >= 0) SerialPortClose(a);
    if (b >= 0) SerialPortClose(b);
  }
  ComPair pair;
  int a = -1;
  int b = -1;
};
