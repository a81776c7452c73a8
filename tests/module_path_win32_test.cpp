// The program's own path from the system, and what a buffer too small for it receives.
#include "appbase/module_path.h"

#include <gtest/gtest.h>
#include <io.h>

#include <cstring>
#include <string>

namespace {

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
