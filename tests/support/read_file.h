// Reading back what a program under test wrote: a whole file, as bytes or as text.
// (Not "ReadFile": that is a Windows function, and these are compiled there too.)
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The file's bytes as they are on disk; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file as a program reads a text file: the platform's line ends become '\n'; empty when it cannot
// be read.
inline std::string ReadWholeText(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file's bytes, for the parsers that take a byte buffer; empty when it cannot be read.
inline std::vector<std::uint8_t> ReadAll(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  return {bytes.begin(), bytes.end()};
}
