// The version facts of Linux itself: the kernel's release as a platform code, our own ELF programs with
// the version section the build put in, the suite's root, and files that are no program at all.
#include "sysutil/version_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <cstdio>
#include <filesystem>

#include "scratch_tree.h"
#include "test_environment.h"
#include "version_test_support.h"

namespace fs = std::filesystem;

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
  EXPECT_TRUE(sizeof(void*) != 8 || Is64BitOs() != 0);
}

TEST(VersionText, FifoIsReadAsNoProgramWithoutHanging) {
  ScratchTree tree("tavik_nonprogram");
  ASSERT_EQ(mkfifo(tree.Path("pipe.exe").c_str(), 0600), 0);
  EXPECT_EQ(Text(BuildStringsWithDate, tree.Path("pipe.exe")), "Unk  " + DateLine(tree.Path("pipe.exe")))
      << "a FIFO must not hang the reader";
}

TEST(VersionText, OwnElfProgramsCarryTheSectionThatTheBuildPutIn) {
  const std::string self = OwnProgramPath();
  EXPECT_EQ(Text(BuildStringsWithDate, self), "PB=1.3  " + DateLine(self));
  EXPECT_EQ(Text(FileVersionNumber, self), "1.0.0.3");

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
  EXPECT_EQ(info.translations[0], (std::pair<std::uint16_t, std::uint16_t>{0x0407, 0x04e4}));
}

TEST(VersionText, SuitePathsResolveUnderTheTavikRoot) {
  ScratchTree tree("tavik_version");
  const fs::path root = tree.Root();
  fs::create_directories(root / "BIN");
  fs::copy_file(Fixture("full64.exe"), root / "BIN" / "Navro.exe", fs::copy_options::overwrite_existing);
  ScopedEnv suite("TAVIK_ROOT", tree.Root());
  const std::string resolved = (root / "BIN" / "Navro.exe").string();
  EXPECT_EQ(Text(BuildStringsWithDate, "C:\\Tavik\\BIN\\navro.exe"), "PB=1.3  " + DateLine(resolved));
}

TEST(VersionText, TruncatedElfProgramLosesItsVersion) {
  const auto elf = ReadAll(SYSUTIL_VERSIONED_HELPER);
  EXPECT_EQ(SmallestReadablePrefix(elf, 7), elf.size()) << "the section headers sit at the end";
}
