// Start-up decisions: the station role, the start directory and its STARTUPDIR= override, the title.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "probe_startup.h"
#include "test_environment.h"

namespace {

TEST(StationRoleTest, DecidedOnTheUpperCasedDirectory) {
  EXPECT_STREQ(DecideStationRole("C:\\Tavik\\BIN\\"), "Therapist");
  EXPECT_STREQ(DecideStationRole("c:\\tavik\\bin\\"), "Therapist");
  EXPECT_STREQ(DecideStationRole("C:\\Tavik\\Games\\"), "Game");
  EXPECT_STREQ(DecideStationRole("C:\\Tavik\\Games\\BIN\\"), "Therapist");  // \BIN wins
  EXPECT_STREQ(DecideStationRole("C:\\TavikBIN\\"), "");                    // no backslash before BIN
  EXPECT_STREQ(DecideStationRole("C:\\Tavik\\Tools\\"), "");
  EXPECT_STREQ(DecideStationRole("/opt/tavik/bin/"), "Therapist");  // slashes read as backslashes
  EXPECT_STREQ(DecideStationRole("/opt/tavik/games/"), "Game");
  EXPECT_STREQ(DecideStationRole(""), "");
}

TEST(StartupDirectoryTest, CutRightAfterTheLastSeparator) {
  // With no separator only the first character remains.
  for (auto [given, cut] : {std::pair{"C:\\Tavik\\BIN\\linkprobe.exe", "C:\\Tavik\\BIN\\"},
                            {"/opt/tavik/BIN/linkprobe", "/opt/tavik/BIN/"},
                            {"linkprobe.exe", "l"}}) {
    char path[ModulePathSize];
    std::strcpy(path, given);
    CutAfterLastSeparator(path, std::strlen(path));
    EXPECT_STREQ(path, cut);
  }
}

TEST(StartupDirectoryTest, StartupDirArgumentTakesTheRestOfTheLine) {
  char directory[ModulePathSize] = "C:\\Tavik\\BIN\\";
  ApplyStartupDirArgument("STARTUPDIR=C:\\Tavik\\Games\\ -x", directory, sizeof directory);
  EXPECT_STREQ(directory, "C:\\Tavik\\Games\\ -x");
  EXPECT_STREQ(DecideStationRole(directory), "Game");

  char unchanged[ModulePathSize] = "C:\\Tavik\\BIN\\";
  ApplyStartupDirArgument("startupdir=C:\\Tavik\\Games\\", unchanged, sizeof unchanged);
  EXPECT_STREQ(unchanged, "C:\\Tavik\\BIN\\");

  char cut[ModulePathSize] = "";
  std::string longLine = "x STARTUPDIR=" + std::string(1000, 'd');
  ApplyStartupDirArgument(longLine.c_str(), cut, sizeof cut);
  EXPECT_EQ(std::string(cut), std::string(ModulePathSize - 1, 'd'));
}

TEST(CommandWordTest, OnlyAWordOfItsOwnCounts) {
  EXPECT_TRUE(HasCommandWord("REPORT", "REPORT"));
  EXPECT_TRUE(HasCommandWord("-x\tREPORT STARTUPDIR=C:\\Tavik\\", "REPORT"));
  EXPECT_TRUE(HasCommandWord("REPORTS REPORT", "REPORT"));  // found after a longer word
  EXPECT_FALSE(HasCommandWord("STARTUPDIR=C:\\REPORT\\", "REPORT"));
  EXPECT_FALSE(HasCommandWord("REPORTS report", "REPORT"));
  EXPECT_FALSE(HasCommandWord("", "REPORT"));
}

TEST(TitleTextTest, FilledAndCutAtItsLimit) {
  char title[TitleTextSize];
  FormatTitleText(title, sizeof title, "PB=1.3  Mon Dec  7 12:00:00 2026\n");
  EXPECT_STREQ(title, "Tavik Comm Check PB=1.3  Mon Dec  7 12:00:00 2026\n");
  std::string huge(500, 'v');
  FormatTitleText(title, sizeof title, huge.c_str());
  EXPECT_EQ(std::string(title), "Tavik Comm Check " + std::string(TitleTextSize - 1 - 17, 'v'));
}

TEST(PrepareStartupTest, OwnDirectoryUnlessStartupDirGiven) {
  std::string exe = OwnProgramPath();
  ASSERT_FALSE(exe.empty());

  PrepareStartup("--some-option");
  EXPECT_EQ(std::string(ModulePath), exe);
  EXPECT_EQ(std::string(StartupDirectory), exe.substr(0, exe.find_last_of("/\\") + 1));
  EXPECT_EQ(std::string(TitleText).rfind("Tavik Comm Check ", 0), 0u);

  PrepareStartup("STARTUPDIR=C:\\Tavik\\Games\\");
  EXPECT_STREQ(StartupDirectory, "C:\\Tavik\\Games\\");
}

}  // namespace
