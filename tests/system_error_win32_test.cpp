// Windows reports its own error numbers, which are already the ones the tools show, and words them itself.
#include "platform/system_error.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

TEST(SystemErrorTest, WindowsNumbersPassThroughInBothNumberings) {
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Winsock, WSAEWOULDBLOCK), 10035);
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Winsock, WSAECONNREFUSED), 10061);
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Win32, ERROR_ACCESS_DENIED), 5);
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Win32, ERROR_FILE_NOT_FOUND), 2);
}

TEST(SystemErrorTest, LastErrorIsTheThreadsAndTextHasNoLineEnd) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(LastSystemError(), 2);
  std::string text = SystemErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '\r');
}
