// The system's version API reads the resource out of the program file; our parser reads the block.
#include "sysutil/file_version_source.h"

#include <windows.h>

#include <vector>

bool ReadFileVersionInfo(const std::string& path, FileVersionInfo& info) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return false;
  std::vector<std::uint8_t> block(size, 0);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return false;
  return ParseVersionBlock(block.data(), block.size(), info);
}
