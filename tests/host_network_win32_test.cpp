// The host address line from the system's own name and resolver, and the socket library left as the
// caller had it.
#include "host_network.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "sysutil/host_address.h"

namespace {

// The IPv4 addresses of the system's address table, dotted.
std::set<std::string> TableAddresses() {
  std::set<std::string> addresses;
  ULONG size = 0;
  GetIpAddrTable(nullptr, &size, FALSE);
  std::string buffer(size, '\0');
  auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(&buffer[0]);
  if (size == 0 || GetIpAddrTable(table, &size, FALSE) != NO_ERROR) return addresses;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    in_addr address;
    address.S_un.S_addr = table->table[i].dwAddr;
    addresses.insert(inet_ntoa(address));
  }
  return addresses;
}

bool SocketsStarted() {
  SOCKET probe = socket(AF_INET, SOCK_DGRAM, 0);
  if (probe == INVALID_SOCKET) return WSAGetLastError() != WSANOTINITIALISED;
  closesocket(probe);
  return true;
}

TEST(HostNetworkWin32, LineNamesThisHostAndOneOfItsAddresses) {
  const std::string line = GetHostAddressLine();
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 0), &data), 0);
  char name[300] = "";
  gethostname(name, sizeof name);
  WSACleanup();
  ASSERT_GT(std::strlen(name), 0u);
  ASSERT_EQ(line.rfind("I am " + std::string(name) + " (", 0), 0u) << line;
  ASSERT_EQ(line.back(), ')') << line;
  const std::string address = ExtractHostAddress();
  unsigned a, b, c, d;
  char rest;
  ASSERT_EQ(std::sscanf(address.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &rest), 4) << address;
  EXPECT_TRUE(a <= 255 && b <= 255 && c <= 255 && d <= 255) << address;
  EXPECT_EQ(line, "I am " + std::string(name) + " (" + address + ")");
  EXPECT_TRUE(TableAddresses().count(address) || a == 127)
      << address << " is neither an address of this computer nor loopback";
  RecordProperty("address_line", line);
}

TEST(HostNetworkWin32, SocketLibraryIsLeftAsTheCallerHadIt) {
  ASSERT_FALSE(SocketsStarted()) << "nothing in this test program keeps the sockets started";
  GetHostAddressLine();
  EXPECT_FALSE(SocketsStarted()) << "the line stops what it started";
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 0), &data), 0);
  GetHostAddressLine();
  EXPECT_TRUE(SocketsStarted()) << "a program that keeps sockets started for its run keeps them";
  WSACleanup();
}

TEST(HostNetworkWin32, ResolverAnswersForLoopbackAndFailsForNoName) {
  const HostNetworkSource& source = SystemHostNetwork();
  std::uint8_t ipv4[4] = {0, 0, 0, 0};
  ASSERT_TRUE(source.resolve("localhost", ipv4));
  EXPECT_EQ(ipv4[0], 127);
  EXPECT_FALSE(source.resolve("no-such-host.invalid", ipv4));
  char small[4] = {'x', 'x', 'x', 'x'};
  if (source.hostName(small, sizeof small)) {
    EXPECT_LT(strnlen(small, sizeof small), sizeof small);
  }
  EXPECT_FALSE(source.hostName(small, 0));
}

}  // namespace
