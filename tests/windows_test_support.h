// Helpers shared by the Windows tests: whether sockets can be made, a helper program's one-line answer,
// and cases whose recording stand-ins note their command lines (Wine or not: test_environment.h).
#pragma once

#include <gtest/gtest.h>
#include <process.h>
#include <winsock2.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "read_file.h"
#include "scratch_tree.h"
#include "test_environment.h"

// 0 when a socket can be made now, else the socket library's error (WSANOTINITIALISED: not started).
inline int SocketOpenError() {
  const SOCKET probe = socket(AF_INET, SOCK_DGRAM, 0);
  if (probe == INVALID_SOCKET) return WSAGetLastError();
  closesocket(probe);
  return 0;
}

// Starts `program` with an output file and up to two more arguments, waits, and returns the first line
// it wrote there (or "<exit n>" when it failed).
inline std::string HelperAnswer(const char* program, const char* first = nullptr, const char* second = nullptr) {
  ScratchTree tree("tavik_helper");
  const std::string output = tree.Path("answer.txt");
  // _spawnl joins its arguments with blanks: each one is quoted so that a path with blanks stays whole.
  auto quoted = [](const char* text) { return text ? "\"" + std::string(text) + "\"" : std::string(); };
  const std::string args[] = {quoted(program), quoted(output.c_str()), quoted(first), quoted(second)};
  const intptr_t result = _spawnl(_P_WAIT, program, args[0].c_str(), args[1].c_str(), first ? args[2].c_str() : nullptr,
                                  second ? args[3].c_str() : nullptr, nullptr);
  std::ifstream file(output);
  std::string line;
  std::getline(file, line);
  return result == 0 ? line : "<exit " + std::to_string(result) + ">";
}

// A case in which the recording stand-in (recording_helper_win32.cpp) notes each start in Record().
class RecordingHelperTest : public ::testing::Test {
 protected:
  std::string Record() const { return tree_.Path("record.txt"); }
  std::string Recorded() const { return ReadWholeText(Record()); }

  ScratchTree tree_{"tavik_recorded"};
  ScopedEnv record_{"TAVIK_HELPER_RECORD", Record()};
};
