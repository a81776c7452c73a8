// Bounds-checked readers for version information inside program files: the VS_VERSIONINFO tree of a PE
// version resource and the Key=Value section of our ELF programs.
#include "version_resource.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Reads integers out of a byte range, refusing any read that would pass its end.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size, bool bigEndian = false)
      : data_(data), size_(size), bigEndian_(bigEndian) {}

  bool Fits(std::uint64_t offset, std::uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
  const std::uint8_t* At(std::uint64_t offset) const { return data_ + offset; }
  std::size_t Size() const { return size_; }

  bool U16(std::uint64_t offset, std::uint16_t& value) const {
    std::uint64_t v;
    if (!Read(offset, 2, v)) return false;
    value = static_cast<std::uint16_t>(v);
    return true;
  }
  bool U32(std::uint64_t offset, std::uint32_t& value) const {
    std::uint64_t v;
    if (!Read(offset, 4, v)) return false;
    value = static_cast<std::uint32_t>(v);
    return true;
  }
  bool U64(std::uint64_t offset, std::uint64_t& value) const { return Read(offset, 8, value); }

 private:
  bool Read(std::uint64_t offset, unsigned length, std::uint64_t& value) const {
    if (!Fits(offset, length)) return false;
    value = 0;
    for (unsigned i = 0; i < length; ++i) {
      unsigned byte = bigEndian_ ? i : length - 1 - i;
      value = (value << 8) | data_[offset + byte];
    }
    return true;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  bool bigEndian_;
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// UTF-16 text as 8-bit text; a lone surrogate becomes U+FFFD.
std::string Utf16ToText(const std::vector<std::uint16_t>& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

// UTF-16 units from offset up to a NUL or the end; `terminated` tells whether a NUL was found.
std::vector<std::uint16_t> ReadUtf16(const Bytes& b, std::size_t offset, std::size_t end, bool& terminated,
                                     std::size_t& next) {
  std::vector<std::uint16_t> units;
  terminated = false;
  std::uint16_t c = 0;
  while (offset + 2 <= end && b.U16(offset, c)) {
    offset += 2;
    if (c == 0) {
      terminated = true;
      break;
    }
    units.push_back(c);
  }
  next = offset;
  return units;
}

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~static_cast<std::size_t>(3); }

// One node of a VS_VERSIONINFO tree: length, value length, type, key, value, children.
struct VersionNode {
  std::string key;
  std::uint16_t type = 0;
  std::size_t valueOffset = 0, valueSize = 0, childrenOffset = 0, end = 0;
};

bool ReadNode(const Bytes& b, std::size_t offset, std::size_t limit, VersionNode& node) {
  std::uint16_t length, valueLength;
  if (offset > limit || !b.U16(offset, length) || !b.U16(offset + 2, valueLength) || !b.U16(offset + 4, node.type))
    return false;
  if (length < 6 || length > limit - offset) return false;
  node.end = offset + length;
  bool terminated;
  std::size_t afterKey;
  node.key = Utf16ToText(ReadUtf16(b, offset + 6, node.end, terminated, afterKey));
  if (!terminated) return false;
  node.valueOffset = std::min(Align4(afterKey), node.end);
  std::size_t valueBytes = node.type == 1 ? std::size_t{valueLength} * 2 : valueLength;
  node.valueSize = std::min(valueBytes, node.end - node.valueOffset);
  node.childrenOffset = std::min(Align4(node.valueOffset + node.valueSize), node.end);
  return true;
}

template <class Visit>
void ForEachChild(const Bytes& b, const VersionNode& parent, Visit visit) {
  std::size_t pos = parent.childrenOffset;
  VersionNode child;
  while (pos + 6 <= parent.end && ReadNode(b, pos, parent.end, child)) {
    visit(child);
    pos = Align4(child.end);
  }
}

bool SameKey(const std::string& a, const char* b) { return Lower(a) == Lower(b); }

void ReadFixedInfo(const Bytes& b, const VersionNode& root, FileVersionInfo& info) {
  std::uint32_t signature;
  const std::size_t at = root.valueOffset;
  if (root.valueSize < 52 || !b.U32(at, signature) || signature != 0xFEEF04BDu) return;
  info.hasFixed = b.U32(at + 8, info.fileVersionMS) && b.U32(at + 12, info.fileVersionLS) &&
                  b.U32(at + 16, info.productVersionMS) && b.U32(at + 20, info.productVersionLS);
}

void ReadTranslations(const Bytes& b, const VersionNode& varFileInfo, FileVersionInfo& info) {
  ForEachChild(b, varFileInfo, [&](const VersionNode& var) {
    if (!SameKey(var.key, "Translation")) return;
    for (std::size_t at = var.valueOffset; at + 4 <= var.valueOffset + var.valueSize; at += 4) {
      std::uint16_t language, codePage;
      if (b.U16(at, language) && b.U16(at + 2, codePage)) info.translations.emplace_back(language, codePage);
    }
  });
}

void ReadStringTables(const Bytes& b, const VersionNode& stringFileInfo, FileVersionInfo& info) {
  ForEachChild(b, stringFileInfo, [&](const VersionNode& table) {
    const std::string prefix = "\\stringfileinfo\\" + Lower(table.key) + "\\";
    ForEachChild(b, table, [&](const VersionNode& entry) {
      bool terminated;
      std::size_t next;
      auto units = ReadUtf16(b, entry.valueOffset, entry.valueOffset + entry.valueSize, terminated, next);
      info.strings.emplace(prefix + Lower(entry.key), Utf16ToText(units));
    });
  });
}

// Maps relative virtual addresses of a PE image to offsets in its file.
class PeSections {
 public:
  PeSections(const Bytes& b, std::uint64_t table, unsigned count) : b_(b), table_(table), count_(count) {}

  // The file offset of `length` bytes at `rva`, when they lie inside one section's file data.
  bool Map(std::uint64_t rva, std::uint64_t length, std::uint64_t& offset) const {
    for (unsigned i = 0; i < count_; ++i) {
      std::uint32_t va, rawSize, rawPointer;
      const std::uint64_t at = table_ + std::uint64_t{i} * 40;
      if (!b_.U32(at + 12, va) || !b_.U32(at + 16, rawSize) || !b_.U32(at + 20, rawPointer)) return false;
      if (rva < va || rva - va >= rawSize || length > rawSize - (rva - va)) continue;
      offset = std::uint64_t{rawPointer} + (rva - va);
      return b_.Fits(offset, length);
    }
    return false;
  }

 private:
  const Bytes& b_;
  std::uint64_t table_;
  unsigned count_;
};

constexpr std::uint32_t Subdirectory = 0x80000000u;
// The Windows loader refuses an image with more sections; a reader that took more could be made to spend
// sections times entries on a crafted file.
constexpr std::uint16_t MaxPeSections = 96;

// The target of the first entry of a resource directory that `accept` takes (id and target as stored).
// The entries are mapped as one run, so that a directory costs one section lookup however many it holds.
template <class Accept>
bool FindResourceEntry(const Bytes& b, const PeSections& sections, std::uint64_t rootRva, std::uint32_t dir,
                       Accept accept, std::uint32_t& target) {
  std::uint64_t at, entries;
  std::uint16_t named, ids;
  const std::uint64_t dirRva = rootRva + (dir & ~Subdirectory);
  if (!sections.Map(dirRva, 16, at) || !b.U16(at + 12, named) || !b.U16(at + 14, ids)) return false;
  const unsigned count = unsigned{named} + ids;
  if (!sections.Map(dirRva + 16, 8ull * count, entries)) return false;
  for (unsigned i = 0; i < count; ++i) {
    std::uint32_t id;
    if (!b.U32(entries + 8ull * i, id) || !b.U32(entries + 8ull * i + 4, target)) return false;
    if (accept(id, target)) return true;
  }
  return false;
}

bool ReadPeResourceRoot(const Bytes& b, std::uint64_t& rootRva, std::uint64_t& sectionTable,
                        std::uint16_t& sectionCount) {
  std::uint16_t mz, optionalSize, magic;
  std::uint32_t peOffset, signature, dirCount, rva;
  if (!b.U16(0, mz) || mz != 0x5A4D || !b.U32(0x3C, peOffset)) return false;
  if (!b.U32(peOffset, signature) || signature != 0x00004550u) return false;
  const std::uint64_t coff = std::uint64_t{peOffset} + 4, optional = coff + 20;
  if (!b.U16(coff + 2, sectionCount) || !b.U16(coff + 16, optionalSize) || !b.U16(optional, magic)) return false;
  if (sectionCount > MaxPeSections) return false;
  std::uint64_t countAt, dirsAt;
  if (magic == 0x10b) {
    countAt = 92, dirsAt = 96;
  } else if (magic == 0x20b) {
    countAt = 108, dirsAt = 112;
  } else {
    return false;
  }
  const std::uint64_t resourceDir = dirsAt + 2 * 8;
  if (!b.U32(optional + countAt, dirCount) || dirCount < 3 || resourceDir + 8 > optionalSize) return false;
  if (!b.U32(optional + resourceDir, rva) || rva == 0) return false;
  rootRva = rva;
  sectionTable = optional + optionalSize;
  return true;
}

}  // namespace

bool QueryVersionString(const FileVersionInfo& info, const std::string& subBlock, std::string& value) {
  auto found = info.strings.find(Lower(subBlock));
  if (found == info.strings.end()) return false;
  value = found->second;
  return true;
}

bool ParseVersionBlock(const std::uint8_t* data, std::size_t size, FileVersionInfo& info) {
  info = FileVersionInfo();
  const Bytes b(data, size);
  VersionNode root;
  if (!ReadNode(b, 0, size, root) || root.key != "VS_VERSION_INFO") return false;
  ReadFixedInfo(b, root, info);
  ForEachChild(b, root, [&](const VersionNode& child) {
    if (SameKey(child.key, "StringFileInfo")) ReadStringTables(b, child, info);
    if (SameKey(child.key, "VarFileInfo")) ReadTranslations(b, child, info);
  });
  return true;
}

bool ExtractPeVersionResource(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& block) {
  const Bytes b(data, size);
  std::uint64_t rootRva, sectionTable;
  std::uint16_t sectionCount;
  if (!ReadPeResourceRoot(b, rootRva, sectionTable, sectionCount)) return false;
  const PeSections sections(b, sectionTable, sectionCount);
  auto isVersionType = [](std::uint32_t id, std::uint32_t target) { return id == 16 && (target & Subdirectory); };
  auto isSubdirectory = [](std::uint32_t, std::uint32_t target) { return (target & Subdirectory) != 0; };
  auto isData = [](std::uint32_t, std::uint32_t target) { return (target & Subdirectory) == 0; };
  std::uint32_t types, names, dataEntry, dataRva, dataSize;
  std::uint64_t at;
  if (!FindResourceEntry(b, sections, rootRva, 0, isVersionType, types) ||
      !FindResourceEntry(b, sections, rootRva, types, isSubdirectory, names) ||
      !FindResourceEntry(b, sections, rootRva, names, isData, dataEntry))
    return false;
  if (!sections.Map(rootRva + dataEntry, 16, at) || !b.U32(at, dataRva) || !b.U32(at + 4, dataSize)) return false;
  if (!sections.Map(dataRva, dataSize, at)) return false;
  block.assign(b.At(at), b.At(at) + dataSize);
  return true;
}

namespace {

struct ElfLayout {
  bool is64;
  std::uint64_t headerTable;
  std::uint16_t entrySize;
};

struct ElfSection {
  std::uint32_t name = 0, type = 0, link = 0;
  std::uint64_t offset = 0, size = 0;
};

bool ReadElfSection(const Bytes& b, const ElfLayout& elf, std::uint64_t index, ElfSection& s) {
  if (index > (std::uint64_t{1} << 32)) return false;
  const std::uint64_t at = elf.headerTable + index * elf.entrySize;
  if (!b.Fits(at, elf.entrySize) || !b.U32(at, s.name) || !b.U32(at + 4, s.type)) return false;
  if (elf.is64) return b.U64(at + 24, s.offset) && b.U64(at + 32, s.size) && b.U32(at + 40, s.link);
  std::uint32_t offset, size;
  if (!b.U32(at + 16, offset) || !b.U32(at + 20, size) || !b.U32(at + 24, s.link)) return false;
  s.offset = offset;
  s.size = size;
  return true;
}

bool NameIs(const Bytes& b, const ElfSection& names, std::uint32_t name, const char* wanted) {
  const std::size_t length = std::strlen(wanted) + 1;
  if (name >= names.size || length > names.size - name) return false;
  return b.Fits(names.offset + name, length) && std::memcmp(b.At(names.offset + name), wanted, length) == 0;
}

// "a.b.c.d" with four numbers up to 65535 as the two 32-bit words of a version.
bool ParseVersionNumbers(const std::string& text, std::uint32_t& ms, std::uint32_t& ls) {
  unsigned long part[4];
  const char* p = text.c_str();
  for (int i = 0; i < 4; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    char* end;
    part[i] = std::strtoul(p, &end, 10);
    if (part[i] > 0xFFFF || (*end != (i < 3 ? '.' : '\0'))) return false;
    p = end + (i < 3 ? 1 : 0);
  }
  ms = static_cast<std::uint32_t>(part[0] << 16 | part[1]);
  ls = static_cast<std::uint32_t>(part[2] << 16 | part[3]);
  return true;
}

// "0409/04b0": language and code page in hex.
bool ParseTranslation(const std::string& text, std::uint16_t& language, std::uint16_t& codePage) {
  if (text.size() != 9 || text[4] != '/') return false;
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 7, 8})
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  language = static_cast<std::uint16_t>(std::strtoul(text.substr(0, 4).c_str(), nullptr, 16));
  codePage = static_cast<std::uint16_t>(std::strtoul(text.substr(5).c_str(), nullptr, 16));
  return true;
}

bool ParseKeyValueSection(const Bytes& b, std::uint64_t offset, std::uint64_t size, FileVersionInfo& info) {
  const char* text = reinterpret_cast<const char*>(b.At(offset));
  std::vector<std::pair<std::string, std::string>> values;
  for (std::uint64_t pos = 0; pos < size;) {
    std::string entry(text + pos, strnlen(text + pos, size - pos));
    pos += entry.size() + 1;
    const auto equals = entry.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    values.emplace_back(entry.substr(0, equals), entry.substr(equals + 1));
  }
  std::uint16_t language, codePage;
  for (const auto& [key, value] : values) {
    if (key == "FileVersion") info.hasFixed = ParseVersionNumbers(value, info.fileVersionMS, info.fileVersionLS);
    if (key == "ProductVersion") ParseVersionNumbers(value, info.productVersionMS, info.productVersionLS);
    if (key == "Translation" && ParseTranslation(value, language, codePage))
      info.translations.emplace_back(language, codePage);
  }
  if (info.translations.empty()) return true;
  char table[9];
  std::snprintf(table, sizeof table, "%04x%04x", info.translations[0].first, info.translations[0].second);
  for (const auto& [key, value] : values)
    if (key != "Translation")
      info.strings.emplace("\\stringfileinfo\\" + std::string(table) + "\\" + Lower(key), value);
  return true;
}

bool ReadElfLayout(const Bytes& b, ElfLayout& elf, std::uint64_t& count, std::uint64_t& namesIndex) {
  std::uint16_t shnum, shstrndx;
  if (elf.is64) {
    if (!b.U64(0x28, elf.headerTable) || !b.U16(0x3A, elf.entrySize) || !b.U16(0x3C, shnum) || !b.U16(0x3E, shstrndx))
      return false;
  } else {
    std::uint32_t table;
    if (!b.U32(0x20, table) || !b.U16(0x2E, elf.entrySize) || !b.U16(0x30, shnum) || !b.U16(0x32, shstrndx))
      return false;
    elf.headerTable = table;
  }
  if (elf.headerTable == 0 || elf.headerTable >= b.Size() || elf.entrySize < (elf.is64 ? 64 : 40)) return false;
  count = shnum;
  namesIndex = shstrndx;
  ElfSection first;
  if ((shnum == 0 || shstrndx == 0xFFFF) && !ReadElfSection(b, elf, 0, first)) return false;
  if (shnum == 0) count = first.size;  // extended numbering keeps the counts in section 0
  if (shstrndx == 0xFFFF) namesIndex = first.link;
  return true;
}

}  // namespace

bool ParseElfVersionSection(const std::uint8_t* data, std::size_t size, FileVersionInfo& info) {
  info = FileVersionInfo();
  if (size < 16 || std::memcmp(data,
                               "\x7f"
                               "ELF",
                               4) != 0)
    return false;
  if ((data[4] != 1 && data[4] != 2) || (data[5] != 1 && data[5] != 2)) return false;
  const Bytes b(data, size, data[5] == 2);
  ElfLayout elf{data[4] == 2, 0, 0};
  std::uint64_t count, namesIndex;
  ElfSection names, section;
  if (!ReadElfLayout(b, elf, count, namesIndex) || !ReadElfSection(b, elf, namesIndex, names)) return false;
  if (!b.Fits(names.offset, names.size)) return false;
  for (std::uint64_t i = 1; i < count; ++i) {
    if (!ReadElfSection(b, elf, i, section)) return false;
    if (!NameIs(b, names, section.name, ElfVersionSectionName)) continue;
    constexpr std::uint32_t NoBits = 8;
    if (section.type == NoBits || !b.Fits(section.offset, section.size)) return false;
    return ParseKeyValueSection(b, section.offset, section.size, info);
  }
  return false;
}

bool ReadVersionFromImage(const std::uint8_t* data, std::size_t size, FileVersionInfo& info) {
  info = FileVersionInfo();
  std::vector<std::uint8_t> block;
  if (ExtractPeVersionResource(data, size, block)) return ParseVersionBlock(block.data(), block.size(), info);
  return ParseElfVersionSection(data, size, info);
}
