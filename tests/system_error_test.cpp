// errno in the numbers the tools report: Winsock numbers for sockets, Win32 numbers for devices.
#include "platform/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(SystemErrorTest, SocketErrorsUseWinsockNumbers) {
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Winsock, EWOULDBLOCK), 10035);
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Winsock, EINPROGRESS), 10035);
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Winsock, EISCONN), 10056);
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Winsock, ECONNREFUSED), 10061);
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Winsock, ECONNRESET), 10054);
}

TEST(SystemErrorTest, DeviceErrorsUseWin32Numbers) {
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Win32, ENOENT), 2);
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Win32, EBUSY), 5);
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Win32, EWOULDBLOCK), 5);
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Win32, EACCES), 5);
}

TEST(SystemErrorTest, ErrorsWithoutCounterpartKeepTheirNumberAndHaveText) {
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Win32, ECHILD), ECHILD);
  EXPECT_FALSE(SystemErrorText(EACCES).empty());
}
