// Helpers of the version reader's tests: expected date lines, the PE fixtures and whole files as bytes.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sysutil/version_info.h"
#include "version_resource.h"

// The C runtime's ctime line of the file's modification time, line break included.
inline std::string DateLine(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "<no date>";
  const time_t modified = st.st_mtime;
  const char* text = std::ctime(&modified);
  return text ? text : "<no date>";
}

inline std::string Fixture(const std::string& name) { return std::string(SYSUTIL_PE_FIXTURES) + "/" + name; }

inline std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline std::string Text(VersionTextKind kind, const std::string& path) {
  return GetFileVersionText(kind, path.c_str());
}

// Every cut of a file, each in a buffer of exactly its size, so a read past the end is caught (ASan).
// Returns the smallest cut that still gives the version information (the size when none does).
inline std::size_t SmallestReadablePrefix(const std::vector<std::uint8_t>& bytes, std::size_t step) {
  std::size_t smallest = bytes.size();
  for (std::size_t size = 0; size < bytes.size(); size += step) {
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + size);
    FileVersionInfo info;
    if (ReadVersionFromImage(cut.data(), cut.size(), info) && info.hasFixed && smallest == bytes.size())
      smallest = size;
  }
  return smallest;
}
