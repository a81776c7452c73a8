// Program lookup through the system's search order (application folder, system folders, PATH).
#include "sysutil/program_search.h"

#include <windows.h>

std::string FindProgram(const std::string& program) {
  char found[MAX_PATH];
  DWORD length = SearchPathA(nullptr, program.c_str(), ".exe", MAX_PATH, found, nullptr);
  if (length == 0 || length >= MAX_PATH) return "";
  return found;
}
