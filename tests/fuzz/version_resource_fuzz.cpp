// Fuzz target for the version readers: arbitrary bytes as a whole program file (PE, then ELF) and as a
// bare version block. Every read must stay inside the bytes, and what comes out must be usable text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "version_resource.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Looks up every value the reports ask for, as the version text does.
void Query(const FileVersionInfo& info) {
  std::string value;
  for (const auto& translation : info.translations) {
    char block[32];
    std::snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", translation.first, translation.second);
    for (const char* name : {"PrivateBuild", "SpecialBuild", "FileVersion"}) {
      if (QueryVersionString(info, block + std::string(name), value)) Check(value.size() <= 4 * 65536);
    }
  }
  for (const auto& entry : info.strings) Check(!entry.first.empty() && entry.first[0] == '\\');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so that a read one byte past the end is caught.
  std::vector<std::uint8_t> bytes(data, data + size);
  FileVersionInfo image;
  if (ReadVersionFromImage(bytes.data(), bytes.size(), image)) Query(image);
  std::vector<std::uint8_t> block;
  if (ExtractPeVersionResource(bytes.data(), bytes.size(), block)) Check(block.size() <= size);
  FileVersionInfo bare;
  if (ParseVersionBlock(bytes.data(), bytes.size(), bare)) Query(bare);
  return 0;
}
