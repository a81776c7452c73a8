// The suite's Windows paths on this machine: the root, letter case, programs with and without ".exe".
#include "platform/tavik_path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "scratch_tree.h"
#include "test_environment.h"

namespace fs = std::filesystem;

class TavikPathTest : public ::testing::Test {
 protected:
  void SetUp() override { tree_.Write("GAMES/Reward.WAV", "x"); }
  ScratchTree tree_{"tavik_path"};
  const fs::path root_{tree_.Root()};
  ScopedEnv env_{"TAVIK_ROOT", tree_.Root()};
};

TEST_F(TavikPathTest, ComponentsMatchIgnoringCase) {
  EXPECT_EQ(TavikPath("C:\\Tavik\\Games\\reward.wav"), (root_ / "GAMES" / "Reward.WAV").string());
  EXPECT_EQ(TavikPath("c:\\TAVIK\\games\\REWARD.wav"), (root_ / "GAMES" / "Reward.WAV").string());
}

TEST_F(TavikPathTest, TrailingDotsAreDroppedAsWindowsDropsThem) {
  tree_.Write("BIN/tconfig", "x");
  EXPECT_EQ(TavikPath("C:\\Tavik\\BIN\\Tconfig."), (root_ / "BIN" / "tconfig").string());
  std::ofstream(root_ / "BIN" / "Tconfig.") << "x";
  EXPECT_EQ(TavikPath("C:\\Tavik\\BIN\\Tconfig."), (root_ / "BIN" / "Tconfig.").string()) << "the exact name first";
  EXPECT_EQ(TavikPath("C:\\Tavik\\BIN\\..."), (root_ / "BIN" / "...").string());
}

TEST_F(TavikPathTest, MissingComponentsStayAsGiven) {
  EXPECT_EQ(TavikPath("C:\\Tavik\\BIN\\Tconfig."), (root_ / "BIN" / "Tconfig.").string());
  EXPECT_EQ(TavikPath("C:\\Tavik\\games\\new.txt"), (root_ / "GAMES" / "new.txt").string());
}

TEST_F(TavikPathTest, OtherPathsOnlyChangeTheirSlashes) {
  EXPECT_EQ(TavikPath("C:\\Tavikish\\x"), "C:/Tavikish/x");
  EXPECT_EQ(TavikPath("..\\Signalbay\\a.exe"), "../Signalbay/a.exe");
}

TEST_F(TavikPathTest, RootDefaultsWhenUnset) {
  unsetenv("TAVIK_ROOT");
  EXPECT_EQ(TavikRoot(), "/opt/tavik");
  setenv("TAVIK_ROOT", "/srv/tavik//", 1);
  EXPECT_EQ(TavikRoot(), "/srv/tavik");
}

TEST_F(TavikPathTest, ProgramsAreFoundWithOrWithoutExe) {
  fs::current_path(root_);
  std::ofstream("probe") << "x";
  std::ofstream("tool.exe") << "x";
  EXPECT_EQ(ProgramPath("probe.exe"), "probe");
  EXPECT_EQ(ProgramPath("tool.exe"), "tool.exe");
  EXPECT_EQ(ProgramPath("GAMES\\Reward.WAV"), "GAMES/Reward.WAV");
  EXPECT_EQ(ProgramPath("absent.exe"), "");
}

TEST(WindowsNotationTest, SlashesBecomeBackslashes) {
  EXPECT_EQ(WindowsNotation("/opt/tavik/BIN"), "\\opt\\tavik\\BIN");
}
