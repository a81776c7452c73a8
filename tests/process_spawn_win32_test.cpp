// Spawn-and-wait through the C runtime: the child gets its own path as its only argument, runs to its
// end before the call returns, and its exit code comes back; a missing program returns at once.
#include "process_spawn.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "windows_test_support.h"

namespace {

using ProcessSpawnWin32 = RecordingHelperTest;

TEST_F(ProcessSpawnWin32, ChildRunsToItsEndWithItsPathAloneAndGivesItsExitCode) {
  const ScopedEnv exit("TAVIK_HELPER_EXIT", "5"), sleep("TAVIK_HELPER_SLEEP", "400");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SpawnAndWait(RECORDING_HELPER), 5);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  EXPECT_EQ(Recorded(), std::string(RECORDING_HELPER) + "\n");
}

TEST_F(ProcessSpawnWin32, PathWithBlanksReachesTheChildAsOneArgument) {
  tree_.Dir("Signal bay");
  const std::string copy = tree_.Path("Signal bay") + "\\wire trace.exe";
  std::filesystem::copy_file(RECORDING_HELPER, copy);
  EXPECT_EQ(SpawnAndWait(copy), 37);
  EXPECT_EQ(Recorded(), "\"" + copy + "\"\n");
}

TEST_F(ProcessSpawnWin32, RelativePathIsTakenAgainstTheCurrentDirectory) {
  tree_.Dir("BIN");
  std::filesystem::copy_file(RECORDING_HELPER, tree_.Path("BIN") + "\\cmltap.exe");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(tree_.Path("BIN"));
  const int code = SpawnAndWait("..\\BIN\\cmltap.exe");
  std::filesystem::current_path(before);
  EXPECT_EQ(code, 37);
  EXPECT_EQ(Recorded(), "..\\BIN\\cmltap.exe\n");
}

TEST_F(ProcessSpawnWin32, MissingProgramReturnsMinusOneAtOnce) {
  EXPECT_EQ(SpawnAndWait(tree_.Path("missing.exe")), -1);
  EXPECT_EQ(SpawnAndWait(""), -1);
  EXPECT_EQ(Recorded(), "");
}

}  // namespace
