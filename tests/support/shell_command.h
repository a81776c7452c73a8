// Command lines run through the shell for the tests of this system (xdotool, ip, objdump, signing
// checks), started as every child of the tests is, through ChildProcess.
#pragma once

#include <string>

#include "child_process.h"

// How long a command of the set-up may take: far longer than any of them needs.
inline constexpr int CommandMilliseconds = 60000;

// Runs a command line through the shell; its exit code, and its standard output in `output` when given.
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  ChildProcess shell("/bin/sh", {"-c", command});
  std::string text;
  ReadUntil(shell, text, "", CommandMilliseconds);
  if (output != nullptr) *output += text;
  return shell.Wait(CommandMilliseconds);
}

// Runs a command line through the shell and returns its standard output.
inline std::string CommandOutput(const std::string& command) {
  std::string out;
  RunCommand(command, &out);
  return out;
}

// Whether a command line ran through the shell, its output left out, and succeeded.
inline bool RunQuietly(const std::string& command) { return RunCommand(command + " >/dev/null 2>&1") == 0; }
