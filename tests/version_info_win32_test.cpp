// The version facts of Windows itself: the platform query as the system answers it, the 64-bit test,
// and the version resources that the build puts into our own programs, read through the system's
// version API.
#include "sysutil/version_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "file_version_source.h"
#include "version_test_support.h"
#include "windows_test_support.h"

namespace {

TEST(PlatformCodeWin32, VersionQueryClassesThisSystemInTheNtFamily) {
  OSVERSIONINFOA info{};
  ASSERT_EQ(sizeof info, 148u) << "the size the platform query is called with";
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, 2u);
  const int code = GetPlatformCode();
  EXPECT_EQ(code, PlatformCodeForVersion(2, info.dwMajorVersion, info.dwMinorVersion));
  EXPECT_GE(code, 110) << "every system this program still runs on is Vista or later";
  EXPECT_STREQ(GetPlatformName(), WindowsVersionName(code));
  EXPECT_EQ(GetPlatformCode(), code) << "answered from the cache once the name was asked for";
  RecordProperty("platform", std::to_string(code) + " " + GetPlatformName());
}

TEST(PlatformCodeWin32, SixtyFourBitBuildKnowsItsSystemIsSixtyFourBit) {
  ASSERT_EQ(sizeof(void*), 8u) << "the Windows tests are a 64-bit build";
  EXPECT_NE(Is64BitOs(), 0) << "a native 64-bit process is no WOW64 process, yet its system is 64-bit";
}

// The helper's line when started while the system reports `version` for it (a setting of Wine's).
std::string ProbeUnder(const char* version) {
  const std::string key = "Software\\Wine\\AppDefaults\\sysutil_probe.exe";
  if (RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "Version", REG_SZ, version,
                      static_cast<DWORD>(std::strlen(version) + 1)) != ERROR_SUCCESS)
    return "<no key>";
  const std::string line = HelperAnswer(SYSUTIL_PROBE);
  RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
  return line;
}

TEST(PlatformCodeWin32, EachReportedWindowsVersionGetsItsCodeAndName) {
  if (!RunsUnderWine()) GTEST_SKIP() << "only Wine lets a program be told another Windows version";
  // Windows 10 tells a program without a compatibility manifest (as this helper is) that it is Windows 8;
  // the programs' own manifest lets them see 10.0 (the Wine scenarios pin their platform line).
  const char* const answers[][2] = {{"winxp64", "2 5.2|102 XP|1"},
                                    {"vista", "2 6.0|110 Vista|1"},
                                    {"win7", "2 6.1|111 Windows 7|1"},
                                    {"win8", "2 6.2|112 Windows 8|1"},
                                    {"win10", "2 6.2|112 Windows 8|1"}};
  for (const auto& [version, answer] : answers) EXPECT_EQ(ProbeUnder(version), answer) << version;
}

TEST(VersionTextWin32, OwnProgramCarriesTheResourceTheBuildPutIn) {
  const std::string self = OwnProgramPath();
  EXPECT_EQ(Text(BuildStringsWithDate, self), "PB=1.3  " + DateLine(self));
  EXPECT_EQ(Text(FileVersionNumber, self), "1.0.0.3");
  FileVersionInfo info;
  ASSERT_TRUE(ReadFileVersionInfo(self, info));
  EXPECT_EQ(info.productVersionMS, 1u << 16);
  EXPECT_EQ(info.productVersionLS, 1u);
  EXPECT_EQ(info.translations, (decltype(info.translations){{0x0409, 0x04b0}}));
}

TEST(VersionTextWin32, HelperWithBothBuildStringsAndPlainHelper) {
  const std::string helper = SYSUTIL_VERSIONED_HELPER;
  EXPECT_EQ(Text(BuildStringsWithDate, helper), "PB=7.1    SB=field-test  " + DateLine(helper));
  EXPECT_EQ(Text(FileVersionNumber, helper), "2.4.6.8");
  FileVersionInfo info;
  ASSERT_TRUE(ReadFileVersionInfo(helper, info));
  EXPECT_EQ(info.translations, (decltype(info.translations){{0x0407, 0x04e4}}));
  EXPECT_FALSE(ReadFileVersionInfo(SYSUTIL_PLAIN_HELPER, info));
  EXPECT_FALSE(ReadFileVersionInfo("C:\\no such folder\\navro.exe", info));
}

TEST(VersionTextWin32, WindowsPathsOfMissingFilesGiveUnkAlone) {
  for (const char* missing : {"C:\\no such folder\\navro.exe", ""}) {
    EXPECT_EQ(Text(BuildStringsWithDate, missing), "Unk") << missing;
    EXPECT_EQ(Text(FileVersionNumber, missing), "Unk") << missing;
  }
}

}  // namespace
