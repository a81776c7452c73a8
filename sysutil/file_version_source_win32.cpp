// The system's version API: GetFileVersionInfoA reads the resource out of the program file and
// VerQueryValueA answers for the fixed block, the translation table and the build strings in it.
#include "file_version_source.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <new>
#include <vector>

namespace {

// A string value of the block, stored under its lower-case path as the version facts look it up.
void ReadString(std::vector<std::uint8_t>& block, const char* path, FileVersionInfo& info) {
  char* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), path, reinterpret_cast<void**>(&value), &length) || !value) return;
  std::string key(path);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  info.strings[key] = std::string(value, strnlen(value, length));
}

void ReadFixed(std::vector<std::uint8_t>& block, FileVersionInfo& info) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
      length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != VS_FFI_SIGNATURE)
    return;
  info.hasFixed = true;
  info.fileVersionMS = fixed->dwFileVersionMS;
  info.fileVersionLS = fixed->dwFileVersionLS;
  info.productVersionMS = fixed->dwProductVersionMS;
  info.productVersionLS = fixed->dwProductVersionLS;
}

// Every entry of the translation table, with the build strings of each.
void ReadTranslations(std::vector<std::uint8_t>& block, FileVersionInfo& info) {
  WORD* table = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&table), &length) || !table)
    return;
  for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) {
    info.translations.emplace_back(table[i], table[i + 1]);
    for (const char* name : {"PrivateBuild", "SpecialBuild"}) {
      char path[64];
      std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", table[i], table[i + 1], name);
      ReadString(block, path, info);
    }
  }
}

}  // namespace

bool ReadFileVersionInfo(const std::string& path, FileVersionInfo& info) {
  info = FileVersionInfo();
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return false;
  std::vector<std::uint8_t> block;
  try {
    block.assign(size, 0);
  } catch (const std::bad_alloc&) {
    return false;  // a block too large to hold reads as no version information
  }
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return false;
  ReadFixed(block, info);
  ReadTranslations(block, info);
  return true;
}
