// On Windows the suite's paths are the machine's own.
#include "platform/tavik_path.h"

#include <windows.h>

std::string TavikRoot() { return "C:\\Tavik"; }

std::string TavikPath(const std::string& windowsPath) { return windowsPath; }

std::string ProgramPath(const std::string& windowsPath) {
  return GetFileAttributesA(windowsPath.c_str()) == INVALID_FILE_ATTRIBUTES ? "" : windowsPath;
}

std::string WindowsNotation(const std::string& path) { return path; }
