// Helpers of the version reader's tests: expected date lines, the PE fixtures and whole files as bytes.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "read_file.h"
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

// A PE32+ image whose version resource lies in the last of `sections` sections, behind a root directory of
// `rootEntries` other types: the shape that makes a reader's cost grow with sections times entries.
inline std::vector<std::uint8_t> CraftedPe(unsigned sections, unsigned rootEntries,
                                           const std::vector<std::uint8_t>& versionBlock) {
  constexpr std::uint32_t peAt = 0x40, optionalAt = peAt + 24, optionalSize = 240, resourceVa = 0x1000000;
  const std::uint32_t tableAt = optionalAt + optionalSize;
  const std::uint32_t rawAt = (tableAt + sections * 40 + 0x1FF) & ~0x1FFu;
  const std::uint32_t typesAt = 16 + 8 * (rootEntries + 1), namesAt = typesAt + 24, dataAt = namesAt + 24,
                      blockAt = dataAt + 16;
  std::vector<std::uint8_t> pe(rawAt + blockAt + versionBlock.size());
  auto put16 = [&pe](std::size_t at, std::uint32_t v) { pe[at] = v & 0xFF, pe[at + 1] = (v >> 8) & 0xFF; };
  auto put32 = [&put16](std::size_t at, std::uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
  constexpr std::uint32_t subdirectory = 0x80000000u, versionType = 16;
  put16(0, 0x5A4D), put32(0x3C, peAt), put32(peAt, 0x4550);
  put16(peAt + 4, 0x8664), put16(peAt + 6, sections), put16(peAt + 20, optionalSize);
  put16(optionalAt, 0x20b), put32(optionalAt + 108, 16), put32(optionalAt + 128, resourceVa);
  for (unsigned i = 0; i + 1 < sections; ++i) put32(tableAt + 40 * i + 12, 0x1000 * (i + 1));
  const std::uint32_t last = tableAt + 40 * (sections - 1), resourceSize = blockAt + versionBlock.size();
  put32(last + 8, resourceSize), put32(last + 12, resourceVa), put32(last + 16, resourceSize), put32(last + 20, rawAt);
  const std::uint32_t r = rawAt;
  put16(r + 14, rootEntries + 1);
  for (unsigned i = 0; i < rootEntries; ++i) put32(r + 16 + 8 * i, 1000 + i);
  put32(r + 16 + 8 * rootEntries, versionType), put32(r + 20 + 8 * rootEntries, subdirectory | typesAt);
  put16(r + typesAt + 14, 1), put32(r + typesAt + 16, 1), put32(r + typesAt + 20, subdirectory | namesAt);
  put16(r + namesAt + 14, 1), put32(r + namesAt + 16, 0x409), put32(r + namesAt + 20, dataAt);
  put32(r + dataAt, resourceVa + blockAt), put32(r + dataAt + 4, versionBlock.size());
  std::copy(versionBlock.begin(), versionBlock.end(), pe.begin() + r + blockAt);
  return pe;
}
