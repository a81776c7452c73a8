// The game address check through the system's resolver: numeric and named loopback pass; bad numbers
// and unknown names give the resolver's code with the system's own words on one line.
#include "host_lookup.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(HostLookupWin32, LoopbackByNumberAndByNamePasses) {
  char text[1024] = "untouched";
  EXPECT_EQ(CheckIpv4Address("127.0.0.1", text, sizeof text), 0);
  EXPECT_EQ(CheckIpv4Address("localhost", text, sizeof text), 0) << "the sockets start for the check itself";
  EXPECT_STREQ(text, "untouched");
}

TEST(HostLookupWin32, BadNumberAndUnknownNameGiveTheResolversCodeAndText) {
  for (const char* address : {"192.168.10.256", "10.0.0.1.5", "no-such-host.invalid"}) {
    SCOPED_TRACE(address);
    char text[1024] = "";
    EXPECT_NE(CheckIpv4Address(address, text, sizeof text), 0);
    EXPECT_GT(std::strlen(text), 0u);
    EXPECT_EQ(std::strpbrk(text, "\r\n"), nullptr) << "the message's line breaks are left out";
  }
}

TEST(HostLookupWin32, SmallAndEmptyTextBuffersAreNotOverrun) {
  char guard[12];
  std::memset(guard, 'x', sizeof guard);
  EXPECT_NE(CheckIpv4Address("192.168.10.256", guard, 4), 0);
  EXPECT_EQ(guard[4], 'x');
  EXPECT_NE(std::memchr(guard, '\0', 4), nullptr) << "what is there is terminated";
  EXPECT_NE(CheckIpv4Address("192.168.10.256", guard + 8, 0), 0);
  EXPECT_EQ(guard[8], 'x');
}

}  // namespace
