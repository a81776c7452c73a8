// Finding and running the suite's sibling programs: the path rules (relative to the current
// directory, suite paths under the root, ".exe" as given then without), the argument the child gets,
// and the wait for its end.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "program_launch.h"
#include "toolboard_test_support.h"

namespace {

using namespace toolboardtest;
using Clock = std::chrono::steady_clock;

class LaunchTest : public ::testing::Test {
 protected:
  ScratchTree tree;
  ScopedEnv root{"TAVIK_ROOT", tree.Path("tavik")};

  void SetUp() override { tree.Write("tavik/BIN/.keep", ""); }
};

TEST_F(LaunchTest, ProgramFilesAreFoundByTheSuitesRules) {
  ScopedCurrentDirectory here(tree.Path("tavik/BIN"));
  EXPECT_EQ(LocateProgramFile("linkprobe.exe"), "");
  WriteScript(tree, "tavik/BIN/linkprobe", "exit 0\n");
  EXPECT_EQ(LocateProgramFile("linkprobe.exe"), "linkprobe");
  WriteScript(tree, "tavik/BIN/linkprobe.exe", "exit 0\n");
  EXPECT_EQ(LocateProgramFile("linkprobe.exe"), "linkprobe.exe");  // as given comes first

  WriteScript(tree, "tavik/Signalbay/wiretrace", "exit 0\n");
  EXPECT_EQ(LocateProgramFile("..\\Signalbay\\wiretrace.exe"), "../Signalbay/wiretrace");
  EXPECT_EQ(LocateProgramFile("c:\\TAVIK\\SIGNALBAY\\wiretrace.exe"), tree.Path("tavik/Signalbay/wiretrace"));
  EXPECT_EQ(LocateProgramFile("..\\Signalbay\\Quillon.exe"), "");
  EXPECT_EQ(LocateProgramFile(""), "");
}

TEST_F(LaunchTest, ChildGetsItsPathAloneAndRunsToItsEnd) {
  WriteScript(tree, "tavik/BIN/cmltap",
              "sleep 0.4\necho \"$0|$#|$(pwd)\" > started.txt\nexit 7\n");
  ScopedCurrentDirectory here(tree.Path("tavik/BIN"));
  auto before = Clock::now();
  EXPECT_EQ(RunProgramAndWait("cmltap.exe"), 7);
  EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(400));
  EXPECT_EQ(ReadWholeFile(tree.Path("tavik/BIN/started.txt")),
            "cmltap|0|" + std::filesystem::canonical(tree.Path("tavik/BIN")).string() + "\n");
}

TEST_F(LaunchTest, MissingOrUnstartableProgramReturnsAtOnce) {
  ScopedCurrentDirectory here(tree.Path("tavik/BIN"));
  auto before = Clock::now();
  EXPECT_EQ(RunProgramAndWait("cmltap.exe"), -1);
  tree.Write("tavik/BIN/cmltap", "not a program");  // present, but not executable
  EXPECT_EQ(RunProgramAndWait("cmltap.exe"), -1);
  EXPECT_LT(Clock::now() - before, std::chrono::seconds(1));
}

}  // namespace
