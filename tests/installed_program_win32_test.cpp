// The software report's program rows on Windows, where every path is the machine's own: a program
// file gives its file version and date, a missing one the row its mode asks for.
#include "installed_program.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <string>

#include "software_report.h"

namespace {

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
