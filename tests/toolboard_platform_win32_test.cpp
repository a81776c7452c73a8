// toolboard's Windows pieces. Spawn-and-wait through the C runtime: the child gets its own path as its
// only argument, runs to its end before the call returns, and its exit code comes back; a missing program
// returns at once. The software report's program rows, where every path is the machine's own: a program
// file gives its file version and date, a missing one the row its mode asks for.
#include "installed_program.h"
#include "process_spawn.h"
#include "software_report.h"

#include <sys/stat.h>

#include <chrono>
#include <ctime>
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

std::string Fixture(const std::string& name) { return std::string(TOOLBOARD_PE_FIXTURES) + "\\" + name; }

std::string DateLine(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "<no date>";
  const time_t modified = st.st_mtime;
  const char* text = std::ctime(&modified);
  return text ? text : "<no date>";
}

TEST(InstalledProgramWin32, RowsOfPresentAndMissingPrograms) {
  const std::string present = Fixture("full64.exe"), bare = Fixture("noversion32.exe");
  InstalledPrograms programs;
  EXPECT_EQ(InstalledProgramFile(present.c_str()), present) << "the row describes exactly the file named";
  const char* row = programs.Describe(present.c_str(), "VLC", NoRow);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(std::string(row), "VLC  1.0.0.3  " + DateLine(present));
  EXPECT_EQ(std::string(programs.Describe(bare.c_str(), "MPC-HC", NotInstalledRow)), "MPC-HC  Unk  " + DateLine(bare));
  const char* missing = "C:\\no such folder\\VLC.exe";
  EXPECT_EQ(programs.Describe(missing, "VLC", NoRow), nullptr);
  EXPECT_STREQ(programs.Describe(missing, "VLC", EmptyRow), "");
  EXPECT_STREQ(programs.Describe(missing, "VLC", NotInstalledRow), "VLC is not installed\n");
}

}  // namespace
