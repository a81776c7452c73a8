// Version information of program files, read from the bytes of the file itself: the version resource of a
// Windows (PE) program and the Key=Value section of our own ELF programs. Every read is bounds-checked,
// so a damaged or hostile file gives "no version information", never a read outside its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// What a version resource says, in the terms of its sub-block paths.
struct FileVersionInfo {
  bool hasFixed = false;  // the fixed file information block was present and valid
  std::uint32_t fileVersionMS = 0, fileVersionLS = 0;
  std::uint32_t productVersionMS = 0, productVersionLS = 0;
  std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;  // (language, code page)
  // String values by sub-block path in lower case: "\stringfileinfo\040904b0\privatebuild".
  std::map<std::string, std::string> strings;
};

// Looks up a string value by its sub-block path ("\StringFileInfo\040904b0\PrivateBuild"), ignoring case.
bool QueryVersionString(const FileVersionInfo& info, const std::string& subBlock, std::string& value);

// Parses a VS_VERSIONINFO block (as a version resource or GetFileVersionInfoA holds it).
bool ParseVersionBlock(const std::uint8_t* data, std::size_t size, FileVersionInfo& info);

// Finds the version resource of a PE file (32- or 64-bit) and returns its bytes.
bool ExtractPeVersionResource(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& block);

// The name of the ELF section that carries our programs' version strings.
constexpr const char* ElfVersionSectionName = ".tavik_version";

// Reads the version section of an ELF file (32- or 64-bit, either byte order): NUL-separated
// "FileVersion=", "ProductVersion=", "Translation=llll/cccc", "PrivateBuild=", "SpecialBuild=" strings.
bool ParseElfVersionSection(const std::uint8_t* data, std::size_t size, FileVersionInfo& info);

// A file's bytes of either kind: PE, then ELF.
bool ReadVersionFromImage(const std::uint8_t* data, std::size_t size, FileVersionInfo& info);
