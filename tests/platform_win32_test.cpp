// The platform base on Windows: the system's own error numbers, which are already the ones the tools show,
// worded by the system itself; and the socket library that toolboard keeps started for its whole run.
#include "platform/socket_library.h"
#include "platform/system_error.h"
#include "windows_test_support.h"

namespace {

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

TEST(SocketLibraryWin32, SocketsWorkFromStartToStop) {
  EXPECT_EQ(SocketOpenError(), WSANOTINITIALISED);
  StartSocketLibrary();
  EXPECT_EQ(SocketOpenError(), 0);
  EXPECT_EQ(SocketOpenError(), 0) << "still started after a socket came and went";
  StopSocketLibrary();
  EXPECT_EQ(SocketOpenError(), WSANOTINITIALISED);
}

}  // namespace
