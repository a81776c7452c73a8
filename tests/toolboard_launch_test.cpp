// Finding and running the suite's sibling programs: the path rules (relative to the current
// directory, suite paths under the root, ".exe" as given then without), the argument the child gets,
// and the wait for its end, which keeps the windows painted or, without a thread, waits plainly.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <system_error>
#include <thread>

#include "appbase/painted_wait.h"
#include "program_launch.h"
#include "toolboard_test_support.h"

namespace {

using namespace toolboardtest;
using Clock = std::chrono::steady_clock;

class LaunchTest : public ::testing::Test {
 protected:
  ScratchTree tree;
  ScopedEnv root{"TAVIK_ROOT", tree.Path("tavik")};
  ScopedCurrentDirectory here{tree.Path("tavik/BIN")};
};

TEST_F(LaunchTest, ProgramFilesAreFoundByTheSuitesRules) {
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
  WriteScript(tree, "tavik/BIN/cmltap", "sleep 0.4\necho \"$0|$#|$(pwd)\" > started.txt\nexit 7\n");
  auto before = Clock::now();
  EXPECT_EQ(RunProgramAndWait("cmltap.exe"), 7);
  EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(400));
  EXPECT_EQ(ReadWholeFile(tree.Path("tavik/BIN/started.txt")),
            "cmltap|0|" + std::filesystem::canonical(tree.Path("tavik/BIN")).string() + "\n");
}

TEST_F(LaunchTest, MissingOrUnstartableProgramReturnsAtOnce) {
  auto before = Clock::now();
  EXPECT_EQ(RunProgramAndWait("cmltap.exe"), -1);
  tree.Write("tavik/BIN/cmltap", "not a program");  // present, but not executable
  EXPECT_EQ(RunProgramAndWait("cmltap.exe"), -1);
  EXPECT_LT(Clock::now() - before, std::chrono::seconds(1));
}

// In a child process that may start no thread, as when its user has reached the process limit: the
// painted wait then runs the work itself instead of throwing out of the button's callback. Exit codes: 0
// the work's result came back, 1 a wrong result, 2 no such limit could be set here, 3 the wait threw.
int PaintedWaitWithoutThreads() {
  // The limit does not hold for root: the child becomes an ordinary user first.
  if (geteuid() == 0 && setuid(65534) != 0) return 2;
  const rlimit none{0, 0};
  if (setrlimit(RLIMIT_NPROC, &none) != 0) return 2;
  try {
    std::thread([] {}).join();
    return 2;
  } catch (const std::system_error&) {
  }
  SetPaintPump([] {});
  try {
    return RunKeepingWindowsPainted([] { return 42; }) == 42 ? 0 : 1;
  } catch (const std::system_error&) {
    return 3;
  }
}

TEST(PaintedWait, WorkRunsOnTheCallersThreadWhenNoThreadCanStart) {
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) _exit(PaintedWaitWithoutThreads());  // _exit: no leak check, which needs a thread
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  const int code = WEXITSTATUS(status);
  if (code == 2) GTEST_SKIP() << "this system let the child start a thread over its process limit";
  EXPECT_EQ(code, 0) << (code == 3 ? "the wait threw" : "the work's result was lost");
}

}  // namespace
