// Existence and modification date of files through the C runtime, with 64-bit times: dates after 2038
// must come out right. The opening of files that are only read: regular files, in text mode, and no device.
#include "sysutil/file_status.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "platform/regular_file.h"
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

}  // namespace
