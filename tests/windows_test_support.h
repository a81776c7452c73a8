// Helpers shared by the Windows tests: whether they run under Wine, and a helper program's one-line answer.
#pragma once

#include <process.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "scratch_tree.h"

// Wine lets a test tell a program another Windows version or switch a system library off; on Windows
// such settings mean nothing, and some requests (the "runas" verb) wait for the user's consent.
inline bool RunsUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
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
