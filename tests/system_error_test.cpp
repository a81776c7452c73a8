// errno in the numbers the tools report: Winsock numbers for sockets, Win32 numbers for devices.
#include "platform/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

TEST(SystemErrorTest, SocketErrorsUseWinsockNumbers) {
  for (auto [error, number] : {std::pair{EWOULDBLOCK, 10035},
                               {EINPROGRESS, 10035},
                               {EISCONN, 10056},
                               {ECONNREFUSED, 10061},
                               {ECONNRESET, 10054}})
    EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Winsock, error), number) << error;
}

TEST(SystemErrorTest, DeviceErrorsUseWin32Numbers) {
  for (auto [error, number] : {std::pair{ENOENT, 2}, {EBUSY, 5}, {EWOULDBLOCK, 5}, {EACCES, 5}})
    EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Win32, error), number) << error;
}

TEST(SystemErrorTest, ErrorsWithoutCounterpartKeepTheirNumberAndHaveText) {
  EXPECT_EQ(SystemErrorNumber(ErrorNumbering::Win32, ECHILD), ECHILD);
  EXPECT_FALSE(SystemErrorText(EACCES).empty());
}
