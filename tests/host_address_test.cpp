// The host address line over a given interface list and resolver, and over the system's own network.
#include "sysutil/host_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

// What the fake source answers; the test sets it before each refresh.
struct FakeNetwork {
  bool hostNameWorks = true;
  std::string hostName = "therapist";
  bool listWorks = true;
  std::vector<InterfaceAddress> interfaces;
  bool resolverWorks = true;
  int resolverCalls = 0;
} fake;

const HostNetworkSource fakeSource{[](char* buffer, std::size_t size) {
                                     return fake.hostNameWorks &&
                                            std::snprintf(buffer, size, "%s", fake.hostName.c_str()) >= 0;
                                   },
                                   [](std::vector<InterfaceAddress>& out) {
                                     out = fake.interfaces;
                                     return fake.listWorks;
                                   },
                                   [](const char*, std::uint8_t ipv4[4]) {
                                     ++fake.resolverCalls;
                                     std::memcpy(ipv4, "\x7f\x00\x01\x01", 4);  // 127.0.1.1
                                     return fake.resolverWorks;
                                   }};

class HostAddressTest : public ::testing::Test {
 protected:
  HostAddressTest() {
    fake = FakeNetwork();
    SetHostNetworkSource(&fakeSource);
  }
  ~HostAddressTest() override { SetHostNetworkSource(nullptr); }
};

TEST_F(HostAddressTest, FirstActiveInterfaceInInterfaceOrderGivesTheAddress) {
  fake.interfaces.assign({{"wlan0", 4, true, false, {10, 1, 1, 1}},
                          {"lo", 1, true, true, {127, 0, 0, 1}},
                          {"eth0", 2, false, false, {10, 0, 0, 5}},
                          {"eth1", 3, true, false, {192, 168, 10, 1}},
                          {"eth1", 3, true, false, {192, 168, 10, 9}}});
  EXPECT_STREQ(GetHostAddressLine(), "I am therapist (192.168.10.1)");
  EXPECT_STREQ(LastHostAddressLine(), "I am therapist (192.168.10.1)");
  EXPECT_STREQ(ExtractHostAddress(), "192.168.10.1");
  EXPECT_EQ(fake.resolverCalls, 0);
}

TEST_F(HostAddressTest, ResolverAnswersOnlyWhenNoInterfaceHasAnAddress) {
  fake.interfaces = {{"lo", 1, true, true, {127, 0, 0, 1}}, {"eth0", 2, false, false, {10, 0, 0, 5}}};
  EXPECT_STREQ(GetHostAddressLine(), "I am therapist (127.0.1.1)");
  EXPECT_EQ(fake.resolverCalls, 1);
  fake.listWorks = false;
  EXPECT_STREQ(GetHostAddressLine(), "I am therapist (127.0.1.1)");
  fake.resolverWorks = false;
  EXPECT_STREQ(GetHostAddressLine(), "Network setup error");
  EXPECT_STREQ(ExtractHostAddress(), "");
}

TEST_F(HostAddressTest, HostNameFailureAndOverlongNamesGiveOrderlyLines) {
  fake.interfaces = {{"eth0", 2, true, false, {192, 168, 10, 2}}};
  fake.hostNameWorks = false;
  EXPECT_STREQ(GetHostAddressLine(), "Network setup error");
  fake.hostNameWorks = true;
  fake.hostName = std::string(150, 'h');
  const std::string line = GetHostAddressLine();
  EXPECT_EQ(line.size(), static_cast<std::size_t>(HostAddressLineSize - 1));
  EXPECT_EQ(line, "I am " + std::string(94, 'h'));
  EXPECT_STREQ(ExtractHostAddress(), "") << "the cut line has no address part";
  fake.hostName = "game";
  GetHostAddressLine();
  EXPECT_STREQ(ExtractHostAddress(), "192.168.10.2");
}

TEST(HostAddressSystem, SystemNetworkNamesThisHost) {
  char name[300];
  ASSERT_EQ(gethostname(name, sizeof name), 0);
  const std::string line = GetHostAddressLine();
  if (line == "Network setup error") GTEST_SKIP() << "this machine has no IPv4 address at all";
  EXPECT_EQ(line.rfind(std::string("I am ") + name + " (", 0), 0u) << line;
  in_addr parsed;
  EXPECT_EQ(inet_pton(AF_INET, ExtractHostAddress(), &parsed), 1) << ExtractHostAddress();
}

}  // namespace
