// Platform code mapping, the platform name, and version texts of PE fixtures on every platform, including
// damaged files that must never be read outside their bytes. Each platform's own programs are read in
// version_info_posix_test.cpp and version_info_win32_test.cpp.
#include "sysutil/version_info.h"

#include <gtest/gtest.h>

#include <tuple>

#include "scratch_tree.h"
#include "version_test_support.h"

TEST(PlatformCode, MapsWindowsVersionsToTheirClasses) {
  struct Case {
    unsigned id, major, minor;
    int code;
    const char* name;
  } cases[] = {
      {2, 5, 1, 102, "XP"},    {2, 5, 0, 102, "XP"},        {2, 6, 1, 111, "Windows 7"}, {2, 4, 0, 101, "???"},
      {2, 6, 0, 110, "Vista"}, {2, 6, 2, 112, "Windows 8"}, {2, 6, 3, 113, "???"},       {2, 10, 0, 110, "Vista"},
      {1, 4, 10, 8, "???"},    {1, 4, 90, 90, "???"},       {1, 4, 0, 5, "???"},         {1, 3, 95, 5, "???"},
      {1, 5, 0, 99, "???"},    {2, 3, 51, 101, "???"},
  };
  for (const auto& c : cases) {
    int code = PlatformCodeForVersion(c.id, c.major, c.minor);
    EXPECT_EQ(code, c.code) << c.id << " " << c.major << "." << c.minor;
    EXPECT_STREQ(WindowsVersionName(code), c.name) << code;
  }
  EXPECT_STREQ(WindowsVersionName(0), "???");
  // Windows 10 and 11 report 10.0 once their manifest lets them: code 110, yet never "Vista".
  EXPECT_STREQ(WindowsSystemName(110, 10, 19045), "Windows 10");
  EXPECT_STREQ(WindowsSystemName(110, 10, 22631), "Windows 11");
  EXPECT_STREQ(WindowsSystemName(110, 6, 6002), "Vista");
  // Windows 8.1 (build 9600) reports 6.2, as the manifest leaves it out, and keeps a true name.
  EXPECT_STREQ(WindowsSystemName(PlatformCodeForVersion(2, 6, 2), 6, 9600), "Windows 8");
}

TEST(VersionText, PeFixturesOfBothWidthsGiveTheirBuildStringsAndNumbers) {
  for (const std::string bits : {"32", "64"}) {
    for (const auto& [name, strings, number] : {std::tuple{"full", "PB=1.3  ", "1.0.0.3"},
                                                {"both", "PB=2.0    SB=beta  ", "5.6.7.8"},
                                                {"sbonly", "SB=sp1  ", "65535.0.1.65535"}}) {
      const std::string path = Fixture(name + bits + ".exe");
      EXPECT_EQ(Text(BuildStringsWithDate, path), strings + DateLine(path)) << path;
      EXPECT_EQ(Text(FileVersionNumber, path), number) << path;
    }
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

TEST(VersionText, TruncatedAndCorruptedProgramFilesAreReadSafely) {
  for (const std::string name : {"full32.exe", "full64.exe", "both64.exe"}) {
    SCOPED_TRACE(name);
    auto bytes = ReadAll(Fixture(name));
    ASSERT_GT(bytes.size(), 1024u);
    const std::size_t smallest = SmallestReadablePrefix(bytes, 1);
    EXPECT_LT(smallest, bytes.size()) << "the padding after the resource is not needed";
    EXPECT_GT(smallest, bytes.size() / 2) << "the resource lies in the last section";
    // Every byte in turn replaced by values that make lengths, offsets and counts absurd.
    for (std::size_t at = 0; at < bytes.size(); ++at) {
      const std::uint8_t original = bytes[at];
      for (std::uint8_t value : {0x00, 0x7F, 0xFF}) {
        bytes[at] = value;
        FileVersionInfo info;
        ReadVersionFromImage(bytes.data(), bytes.size(), info);
      }
      bytes[at] = original;
    }
    FileVersionInfo info;
    std::vector<std::uint8_t> block;
    ASSERT_TRUE(ExtractPeVersionResource(bytes.data(), bytes.size(), block));
    for (std::size_t size = 0; size < block.size(); ++size) ParseVersionBlock(block.data(), size, info);
  }
}

TEST(VersionText, TruncatedFileOnDiskLosesItsStringsButKeepsItsDate) {
  const auto bytes = ReadAll(Fixture("full32.exe"));
  ScratchTree tree("tavik_cut");
  tree.Write("cut.exe", std::string(bytes.begin(), bytes.begin() + bytes.size() / 2 + 256));
  const std::string cut = tree.Path("cut.exe");
  EXPECT_EQ(Text(BuildStringsWithDate, cut), "Unk  " + DateLine(cut));
  // The fixed block comes before the strings: a system reader that takes what is there may still find it.
  const std::string number = Text(FileVersionNumber, cut);
  EXPECT_TRUE(number == "Unk" || number == "1.0.0.3") << number;
}

// The loader's limit on sections bounds the reader's work: at the limit a file with a full resource
// directory is still read, past it the file is no program and gives nothing.
TEST(VersionText, SectionCountsPastTheLoadersLimitAreRefused) {
  const auto fixture = ReadAll(Fixture("full64.exe"));
  std::vector<std::uint8_t> block;
  ASSERT_TRUE(ExtractPeVersionResource(fixture.data(), fixture.size(), block));
  constexpr unsigned fullDirectory = 65534;
  FileVersionInfo info;
  const auto atLimit = CraftedPe(96, fullDirectory, block);
  ASSERT_TRUE(ReadVersionFromImage(atLimit.data(), atLimit.size(), info));
  EXPECT_TRUE(info.hasFixed);
  std::string value;
  ASSERT_TRUE(QueryVersionString(info, "\\StringFileInfo\\040904b0\\PrivateBuild", value));
  EXPECT_EQ(value, "1.3");
  const auto pastLimit = CraftedPe(97, 1, block);
  EXPECT_FALSE(ExtractPeVersionResource(pastLimit.data(), pastLimit.size(), block));
}
