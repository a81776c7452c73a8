// The socket library that toolboard keeps started for its whole run: sockets work between the start
// and the stop, and not after it.
#include "platform/socket_library.h"

#include <winsock2.h>

#include <gtest/gtest.h>

namespace {

bool SocketsWork() {
  SOCKET probe = socket(AF_INET, SOCK_DGRAM, 0);
  if (probe == INVALID_SOCKET) return false;
  closesocket(probe);
  return true;
}

TEST(SocketLibraryWin32, SocketsWorkFromStartToStop) {
  EXPECT_FALSE(SocketsWork());
  StartSocketLibrary();
  EXPECT_TRUE(SocketsWork());
  EXPECT_TRUE(SocketsWork()) << "still started after a socket came and went";
  StopSocketLibrary();
  EXPECT_FALSE(SocketsWork());
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

}  // namespace
