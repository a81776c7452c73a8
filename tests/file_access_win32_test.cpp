// Files as the Windows programs reach them: existence and modification date through the C runtime with
// 64-bit times (dates after 2038 must come out right); opening only regular files for reading, in text
// mode; moving a finished file over another in one step, as the text dumps do, with refusals that lose
// nothing; whole files in text mode with the system's line ends or byte for byte; and the program's own
// path, whole or cut to a small buffer.
#include "appbase/module_path.h"
#include "appbase/whole_file.h"
#include "file_replace.h"
#include "platform/regular_file.h"
#include "sysutil/file_status.h"

#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "read_file.h"
#include "scratch_tree.h"

namespace {

constexpr unsigned long long FileTimeEpochOffset = 11644473600ULL;  // seconds from 1601 to 1970
constexpr unsigned long long FileTimeTicksPerSecond = 10000000ULL;

// Sets the file's modification time to `seconds` since 1970 (UTC).
bool SetModified(const std::string& path, long long seconds) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const unsigned long long ticks =
      (static_cast<unsigned long long>(seconds) + FileTimeEpochOffset) * FileTimeTicksPerSecond;
  const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  const bool ok = SetFileTime(file, nullptr, nullptr, &time) != 0;
  CloseHandle(file);
  return ok;
}

// The C runtime's ctime form of a moment, built from the local broken-down time by hand (Windows writes
// the day of the month with two digits: "Sun Sep 09 01:46:40 2001\n").
std::string CtimeForm(long long seconds) {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const __time64_t moment = seconds;
  struct tm local;
  if (_localtime64_s(&local, &moment) != 0) return "<no time>";
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d\n", days[local.tm_wday], months[local.tm_mon],
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, local.tm_year + 1900);
  return text;
}

TEST(FileStatusWin32, ExistenceOfFilesAndFolders) {
  ScratchTree tree("tavik_status");
  tree.Write("navro.exe", "x");
  EXPECT_TRUE(FileExists(tree.Path("navro.exe")));
  EXPECT_TRUE(FileExists(tree.Root()));
  EXPECT_FALSE(FileExists(tree.Path("missing.exe")));
  EXPECT_FALSE(FileExists(tree.Path("missing\\navro.exe")));
}

TEST(FileStatusWin32, ModificationDateIsTheCtimeLineEvenAfter2038) {
  ScratchTree tree("tavik_status");
  const long long before2038 = 1000000000, after2038 = 4102444800;  // 2001-09-09, 2100-01-01
  std::string text;
  for (const long long moment : {before2038, after2038}) {
    tree.Write("navro.exe", "x");
    ASSERT_TRUE(SetModified(tree.Path("navro.exe"), moment));
    ASSERT_TRUE(FileModificationText(tree.Path("navro.exe"), text));
    EXPECT_EQ(text, CtimeForm(moment));
    EXPECT_EQ(text.size(), 25u);
  }
  EXPECT_TRUE(text.find(" 2100\n") != std::string::npos || text.find(" 2099\n") != std::string::npos) << text;
}

TEST(FileStatusWin32, MissingFileHasNoDateAndLeavesTheTextAlone) {
  std::string text = "before";
  EXPECT_FALSE(FileModificationText("C:\\no such folder\\navro.exe", text));
  EXPECT_EQ(text, "before");
}

TEST(FileStatusWin32, OnlyRegularFilesAreOpenedForReading) {
  ScratchTree tree("tavik_status");
  tree.Write("Tconfig", "Tavik 5.2\r\nsecond\r\n");
  std::FILE* file = OpenRegularFile(tree.Path("Tconfig."));  // the trailing dot, as the suite names it
  ASSERT_NE(file, nullptr);
  char line[32];
  ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
  EXPECT_STREQ(line, "Tavik 5.2\n");
  std::fclose(file);
  for (const std::string& notRegular : {std::string("NUL"), tree.Root(), tree.Path("missing.nin")})
    EXPECT_EQ(OpenRegularFile(notRegular), nullptr) << notRegular;
}

TEST(FileReplaceWin32, ExistingTargetIsReplacedAndMissingTargetIsCreated) {
  ScratchTree tree("tavik_replace");
  tree.Write("new.txt", "new");
  tree.Write("dump.txt", "old");
  ASSERT_TRUE(ReplaceFileWith(tree.Path("new.txt").c_str(), tree.Path("dump.txt").c_str()));
  EXPECT_EQ(ReadWholeFile(tree.Path("dump.txt")), "new");
  EXPECT_FALSE(std::ifstream(tree.Path("new.txt")).good());

  tree.Write("next.txt", "next");
  ASSERT_TRUE(ReplaceFileWith(tree.Path("next.txt").c_str(), tree.Path("fresh.txt").c_str()));
  EXPECT_EQ(ReadWholeFile(tree.Path("fresh.txt")), "next");
}

TEST(FileReplaceWin32, RefusalsLoseNothing) {
  ScratchTree tree("tavik_replace");
  tree.Write("dump.txt", "kept");
  EXPECT_FALSE(ReplaceFileWith(tree.Path("missing.txt").c_str(), tree.Path("dump.txt").c_str()));
  EXPECT_EQ(ReadWholeFile(tree.Path("dump.txt")), "kept");

  tree.Write("folder/inside.txt", "inside");
  tree.Write("new.txt", "new");
  EXPECT_FALSE(ReplaceFileWith(tree.Path("new.txt").c_str(), tree.Path("folder").c_str()));
  EXPECT_EQ(ReadWholeFile(tree.Path("folder/inside.txt")), "inside");
  EXPECT_EQ(ReadWholeFile(tree.Path("new.txt")), "new");
}

TEST(FileReplaceWin32, WholeFilesTakeTheirPlaceInTextOrBinaryMode) {
  ScratchTree tree("tavik_replace");
  tree.Write("ampstatus.txt", "from an earlier start\n");
  ASSERT_TRUE(WriteWholeFile(tree.Path("ampstatus.txt"), "\nDone\n", FileTextMode::Text));
  EXPECT_EQ(ReadWholeFile(tree.Path("ampstatus.txt")), "\r\nDone\r\n");
  ASSERT_TRUE(WriteWholeFile(tree.Path("dump.txt"), "a\nb", FileTextMode::Binary));
  EXPECT_EQ(ReadWholeFile(tree.Path("dump.txt")), "a\nb");
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(tree.Path("*.tmp").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "no new file is left behind";
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

TEST(ModulePathWin32, FullPathOfThisProgramWithItsLength) {
  char path[260];
  const std::size_t length = GetModulePath(path, sizeof path);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(length, std::strlen(path));
  const std::string text(path);
  EXPECT_EQ(text.substr(1, 2), ":\\") << text;
  EXPECT_NE(text.find("sysutil_tests.exe"), std::string::npos) << text;
  EXPECT_EQ(_access(path, 0), 0);
}

TEST(ModulePathWin32, ShortBufferGetsTheCutPathTerminated) {
  char full[260];
  ASSERT_GT(GetModulePath(full, sizeof full), 8u);
  char cut[9];
  std::memset(cut, 'x', sizeof cut);
  EXPECT_EQ(GetModulePath(cut, sizeof cut), 8u);
  EXPECT_EQ(std::string(cut), std::string(full, 8));
  char none = 'x';
  EXPECT_EQ(GetModulePath(&none, 0), 0u);
  EXPECT_EQ(none, 'x');
}

}  // namespace
