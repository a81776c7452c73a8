// Platform code mapping, the platform name, and version texts of PE fixtures and of our own ELF programs,
// including damaged files that must never be read outside their bytes.
#include "sysutil/version_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "scratch_tree.h"
#include "sysutil/version_resource.h"

namespace {

namespace fs = std::filesystem;

std::string DateLine(const std::string& path) {
  struct stat st;
  char text[64];
  if (stat(path.c_str(), &st) != 0 || !ctime_r(&st.st_mtime, text)) return "<no date>";
  return text;
}

std::string Fixture(const std::string& name) { return std::string(SYSUTIL_PE_FIXTURES) + "/" + name; }

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string Text(VersionTextKind kind, const std::string& path) { return GetFileVersionText(kind, path.c_str()); }

TEST(PlatformCode, MapsWindowsVersionsToTheirClasses) {
  struct Case {
    unsigned id, major, minor;
    int code;
    const char* name;
  } cases[] = {
      {2, 5, 1, 102, "XP"},      {2, 5, 0, 102, "XP"},       {2, 6, 1, 111, "Windows 7"},
      {2, 4, 0, 101, "???"},     {2, 6, 0, 110, "Vista"},    {2, 6, 2, 112, "Windows 8"},
      {2, 6, 3, 113, "???"},     {2, 10, 0, 110, "Vista"},   {1, 4, 10, 8, "???"},
      {1, 4, 90, 90, "???"},     {1, 4, 0, 5, "???"},        {1, 3, 95, 5, "???"},
      {1, 5, 0, 99, "???"},      {2, 3, 51, 101, "???"},
  };
  for (const auto& c : cases) {
    int code = PlatformCodeForVersion(c.id, c.major, c.minor);
    EXPECT_EQ(code, c.code) << c.id << " " << c.major << "." << c.minor;
    EXPECT_STREQ(WindowsVersionName(code), c.name) << code;
  }
  EXPECT_STREQ(WindowsVersionName(0), "???");
}

TEST(PlatformCode, LinuxKernelIsClassedWithTheNtFamilyAndNamedAsItself) {
  struct utsname names;
  ASSERT_EQ(uname(&names), 0);
  unsigned major = 0, minor = 0;
  ASSERT_EQ(std::sscanf(names.release, "%u.%u", &major, &minor), 2);
  const int code = GetPlatformCode();
  EXPECT_EQ(code, PlatformCodeForVersion(2, major, minor));
  EXPECT_GT(code, 100);
  const std::string expected = std::string(names.sysname) + " " + std::to_string(major) + "." + std::to_string(minor);
  EXPECT_EQ(GetPlatformName(), expected);
  EXPECT_EQ(GetPlatformCode(), code);
  if (sizeof(void*) == 8) {
    EXPECT_NE(Is64BitOs(), 0);
  }
}

TEST(VersionText, PeFixturesOfBothWidthsGiveTheirBuildStringsAndNumbers) {
  for (const std::string bits : {"32", "64"}) {
    SCOPED_TRACE(bits);
    const std::string full = Fixture("full" + bits + ".exe");
    EXPECT_EQ(Text(BuildStringsWithDate, full), "PB=1.3  " + DateLine(full));
    EXPECT_EQ(Text(FileVersionNumber, full), "1.0.0.3");
    const std::string both = Fixture("both" + bits + ".exe");
    EXPECT_EQ(Text(BuildStringsWithDate, both), "PB=2.0    SB=beta  " + DateLine(both));
    EXPECT_EQ(Text(FileVersionNumber, both), "5.6.7.8");
    const std::string special = Fixture("sbonly" + bits + ".exe");
    EXPECT_EQ(Text(BuildStringsWithDate, special), "SB=sp1  " + DateLine(special));
    EXPECT_EQ(Text(FileVersionNumber, special), "65535.0.1.65535");
  }
}

TEST(VersionText, FilesWithoutBuildStringsGiveUnkWithTheirDate) {
  for (const std::string name : {"nostrings32.exe", "notrans64.exe", "noversion32.exe", "noversion64.exe"}) {
    SCOPED_TRACE(name);
    const std::string path = Fixture(name);
    const std::string text = Text(BuildStringsWithDate, path);
    EXPECT_EQ(text, "Unk  " + DateLine(path));
    EXPECT_EQ(text.back(), '\n');
  }
  EXPECT_EQ(Text(FileVersionNumber, Fixture("nostrings64.exe")), "3.2.1.0");
  EXPECT_EQ(Text(FileVersionNumber, Fixture("noversion64.exe")), "Unk");
  const std::string plain = SYSUTIL_PLAIN_HELPER;
  EXPECT_EQ(Text(BuildStringsWithDate, plain), "Unk  " + DateLine(plain));
  EXPECT_EQ(Text(FileVersionNumber, plain), "Unk");
}

TEST(VersionText, MissingFileGivesUnkWithoutDate) {
  EXPECT_EQ(Text(BuildStringsWithDate, "/nonexistent/navro.exe"), "Unk");
  EXPECT_EQ(Text(FileVersionNumber, "/nonexistent/navro.exe"), "Unk");
  EXPECT_STREQ(GetFileVersionText(BuildStringsWithDate, nullptr), "Unk");
}

TEST(VersionText, OverlongBuildStringIsCutAtTheEndOfTheText) {
  const std::string text = Text(BuildStringsWithDate, Fixture("long32.exe"));
  EXPECT_EQ(text.size(), static_cast<std::size_t>(VersionTextSize - 1));
  EXPECT_EQ(text.substr(0, 13), "PB=0123456789");
  EXPECT_EQ(Text(FileVersionNumber, Fixture("long32.exe")), "1.2.3.4");
}

TEST(VersionText, NonProgramFilesGiveUnkWithTheirDate) {
  ScratchTree tree("tavik_nonprogram");
  ASSERT_EQ(mkfifo(tree.Path("pipe.exe").c_str(), 0600), 0);
  EXPECT_EQ(Text(BuildStringsWithDate, tree.Path("pipe.exe")), "Unk  " + DateLine(tree.Path("pipe.exe")))
      << "a FIFO must not hang the reader";
  tree.Write("empty.exe", "");
  EXPECT_EQ(Text(BuildStringsWithDate, tree.Path("empty.exe")), "Unk  " + DateLine(tree.Path("empty.exe")));
  EXPECT_EQ(Text(FileVersionNumber, tree.Root()), "Unk");
}

TEST(VersionText, EachCallDescribesOnlyItsOwnFile) {
  const std::string full = Fixture("full32.exe"), bare = Fixture("nostrings32.exe");
  const char* first = GetFileVersionText(BuildStringsWithDate, full.c_str());
  EXPECT_EQ(std::string(first).substr(0, 6), "PB=1.3");
  const char* second = GetFileVersionText(BuildStringsWithDate, bare.c_str());
  EXPECT_EQ(first, second) << "one process-wide buffer";
  EXPECT_EQ(std::string(second), "Unk  " + DateLine(bare));
}

TEST(VersionText, OwnElfProgramsCarryTheSectionThatTheBuildPutIn) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = '\0';
  EXPECT_EQ(Text(BuildStringsWithDate, self), "PB=1.3  " + DateLine(self));
  EXPECT_EQ(Text(FileVersionNumber, self), "1.0.0.3");
  EXPECT_EQ("Tavik Comm Check " + Text(BuildStringsWithDate, self), "Tavik Comm Check PB=1.3  " + DateLine(self));

  const std::string helper = SYSUTIL_VERSIONED_HELPER;
  EXPECT_EQ(Text(BuildStringsWithDate, helper), "PB=7.1    SB=field-test  " + DateLine(helper));
  EXPECT_EQ(Text(FileVersionNumber, helper), "2.4.6.8");
  const std::string elf32 = Fixture("elf32.o");
  EXPECT_EQ(Text(BuildStringsWithDate, elf32), "PB=7.1    SB=field-test  " + DateLine(elf32));
  FileVersionInfo info;
  const auto bytes = ReadAll(helper);
  ASSERT_TRUE(ParseElfVersionSection(bytes.data(), bytes.size(), info));
  EXPECT_EQ(info.productVersionMS, 2u << 16);
  ASSERT_EQ(info.translations.size(), 1u);
  EXPECT_EQ(info.translations[0].first, 0x0407);
  EXPECT_EQ(info.translations[0].second, 0x04e4);
}

TEST(VersionText, SuitePathsResolveUnderTheTavikRoot) {
  const fs::path root = fs::temp_directory_path() / ("tavik_version_" + std::to_string(getpid()));
  fs::create_directories(root / "BIN");
  fs::copy_file(Fixture("full64.exe"), root / "BIN" / "Navro.exe", fs::copy_options::overwrite_existing);
  setenv("TAVIK_ROOT", root.c_str(), 1);
  const std::string resolved = (root / "BIN" / "Navro.exe").string();
  EXPECT_EQ(Text(BuildStringsWithDate, "C:\\Tavik\\BIN\\navro.exe"), "PB=1.3  " + DateLine(resolved));
  unsetenv("TAVIK_ROOT");
  fs::remove_all(root);
}

// Every cut of a file, each in a buffer of exactly its size, so a read past the end is caught (ASan).
// Returns the smallest cut that still gives the version information (the size when none does).
std::size_t SmallestReadablePrefix(const std::vector<std::uint8_t>& bytes, std::size_t step) {
  std::size_t smallest = bytes.size();
  for (std::size_t size = 0; size < bytes.size(); size += step) {
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + size);
    FileVersionInfo info;
    if (ReadVersionFromImage(cut.data(), cut.size(), info) && info.hasFixed && smallest == bytes.size())
      smallest = size;
  }
  return smallest;
}

// Every byte in turn replaced by values that make lengths, offsets and counts absurd.
void ExpectEveryCorruptionIsSafe(std::vector<std::uint8_t> bytes) {
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const std::uint8_t original = bytes[at];
    for (std::uint8_t value : {0x00, 0x7F, 0xFF}) {
      bytes[at] = value;
      FileVersionInfo info;
      ReadVersionFromImage(bytes.data(), bytes.size(), info);
    }
    bytes[at] = original;
  }
}

TEST(VersionText, TruncatedAndCorruptedProgramFilesAreReadSafely) {
  for (const std::string name : {"full32.exe", "full64.exe", "both64.exe"}) {
    SCOPED_TRACE(name);
    const auto bytes = ReadAll(Fixture(name));
    ASSERT_GT(bytes.size(), 1024u);
    const std::size_t smallest = SmallestReadablePrefix(bytes, 1);
    EXPECT_LT(smallest, bytes.size()) << "the padding after the resource is not needed";
    EXPECT_GT(smallest, bytes.size() / 2) << "the resource lies in the last section";
    ExpectEveryCorruptionIsSafe(bytes);
    FileVersionInfo info;
    std::vector<std::uint8_t> block;
    ASSERT_TRUE(ExtractPeVersionResource(bytes.data(), bytes.size(), block));
    for (std::size_t size = 0; size < block.size(); ++size) ParseVersionBlock(block.data(), size, info);
  }
  const auto elf = ReadAll(SYSUTIL_VERSIONED_HELPER);
  EXPECT_EQ(SmallestReadablePrefix(elf, 7), elf.size()) << "the section headers sit at the end";
}

TEST(VersionText, TruncatedFileOnDiskLosesItsStringsButKeepsItsDate) {
  const auto bytes = ReadAll(Fixture("full32.exe"));
  const fs::path cut = fs::temp_directory_path() / ("tavik_cut_" + std::to_string(getpid()) + ".exe");
  std::ofstream(cut, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size() / 2 + 256);
  EXPECT_EQ(Text(BuildStringsWithDate, cut.string()), "Unk  " + DateLine(cut.string()));
  EXPECT_EQ(Text(FileVersionNumber, cut.string()), "Unk");
  fs::remove(cut);
}

}  // namespace
