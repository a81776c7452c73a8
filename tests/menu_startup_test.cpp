// Start-up decisions of toolboard: the start directory and its STARTUPDIR= override, the station role
// and the title it gives, and which sibling programs exist (decided against the current directory).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "menu_startup.h"
#include "toolboard_test_support.h"

namespace {

using namespace toolboardtest;

std::string TitleFor(const char* commandLine) {
  PrepareMenuStartup(commandLine);
  char title[TitleTextSize];
  FormatMenuTitle(title, sizeof title, StationRole);
  return title;
}

TEST(MenuTitleTest, NamesTheRoleOfTheStartDirectory) {
  EXPECT_EQ(TitleFor("STARTUPDIR=C:\\Tavik\\BIN\\"), "Tavik Tech Support Menu 2.3 Therapist");
  EXPECT_EQ(TitleFor("STARTUPDIR=C:\\Tavik\\Games\\"), "Tavik Tech Support Menu 2.3 Game");
  EXPECT_EQ(TitleFor("STARTUPDIR=c:\\tavik\\games\\"), "Tavik Tech Support Menu 2.3 Game");
  EXPECT_EQ(TitleFor("STARTUPDIR=/opt/tavik/bin/"), "Tavik Tech Support Menu 2.3 Therapist");
  EXPECT_EQ(TitleFor("STARTUPDIR=C:\\Tools\\"), "Tavik Tech Support Menu 2.3 ");  // ends in a blank
  EXPECT_STREQ(StartupDirectory, "C:\\Tools\\");
}

TEST(MenuTitleTest, StartupDirArgumentAnywhereOverridesTheOwnDirectory) {
  EXPECT_EQ(TitleFor("-x STARTUPDIR=C:\\Tavik\\Games\\"), "Tavik Tech Support Menu 2.3 Game");
  EXPECT_STREQ(StartupDirectory, "C:\\Tavik\\Games\\");

  // Without the argument (or with it in another case) the directory is the program's own.
  TitleFor("startupdir=C:\\Tavik\\Games\\");
  std::string own = ModulePath;
  ASSERT_FALSE(own.empty());
  EXPECT_EQ(std::string(StartupDirectory), own.substr(0, own.rfind('/') + 1));
  EXPECT_STREQ(StationRole, DecideStationRole(StartupDirectory));

  // An overlong directory is cut to fit.
  TitleFor(("STARTUPDIR=" + std::string(1000, 'd')).c_str());
  EXPECT_EQ(std::strlen(StartupDirectory), ModulePathSize - 1);
}

TEST(MenuTitleTest, TitleIsCutAtItsLimit) {
  char title[TitleTextSize];
  std::string role(500, 'r');
  FormatMenuTitle(title, sizeof title, role.c_str());
  EXPECT_EQ(std::strlen(title), TitleTextSize - 1);
}

// The suite's program folder as the current directory, with the Signalbay folder beside it.
class SiblingProgramsTest : public ::testing::Test {
 protected:
  ScratchTree tree;
  ScopedEnv root{"TAVIK_ROOT", tree.Path("tavik")};
  std::string bin = tree.Path("tavik/BIN");

  // Which of Signalbay, the comm recorder, Wiretrace and linkprobe were found, as four digits.
  std::string Find() {
    ScopedCurrentDirectory here(bin);
    SiblingPrograms found = FindSiblingPrograms();
    return std::to_string(found.signalbay) + std::to_string(found.commRecorder) + std::to_string(found.wiretrace) +
           std::to_string(found.linkProbe);
  }
};

TEST_F(SiblingProgramsTest, AllMissing) {
  EXPECT_EQ(Find(), "0000");
  EXPECT_STREQ(SignalbayPath, "c:\\Tavik\\Signalbay\\Quillon.exe");  // the second candidate stays
}

TEST_F(SiblingProgramsTest, AllPresentBesideTheCurrentDirectory) {
  for (const char* file :
       {"tavik/BIN/cmltap.exe", "tavik/BIN/linkprobe", "tavik/Signalbay/wiretrace", "tavik/Signalbay/Quillon.exe"}) {
    WriteScript(tree, file, "exit 0\n");
  }
  EXPECT_EQ(Find(), "1111");  // "linkprobe.exe" is found without its ".exe"
  EXPECT_STREQ(SignalbayPath, "..\\Signalbay\\Quillon.exe");
}

TEST_F(SiblingProgramsTest, SignalbayFallsBackToTheInstalledCopy) {
  WriteScript(tree, "tavik/SIGNALBAY/quillon.exe", "exit 0\n");
  // The current directory is elsewhere, so the near candidate is missing.
  bin = tree.Path("elsewhere");
  EXPECT_EQ(Find().substr(0, 3), "100");  // Signalbay, and no Wiretrace beside it
  EXPECT_STREQ(SignalbayPath, "c:\\Tavik\\Signalbay\\Quillon.exe");
}

TEST_F(SiblingProgramsTest, RelativePathsCountFromTheCurrentDirectoryNotTheStartDirectory) {
  WriteScript(tree, "tavik/BIN/cmltap", "exit 0\n");
  PrepareMenuStartup("STARTUPDIR=C:\\Tavik\\BIN\\");
  bin = tree.Path("tavik");
  EXPECT_EQ(Find()[1], '0');  // the comm recorder
}

}  // namespace
