// "Try Setting Address" without the dialog: the checks and beeps, the network shell's parameter texts
// and the wait for the new address, over a fake system with a fake clock; and every text it can send
// read back by the address helper's parser.
#include "netsetup/ip_setup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <set>

namespace {

// Records beeps and commands; the host address follows a script, and each look costs a second
// unless `secondsPerLook` says otherwise.
class FakeSystem : public IpSetupSystem {
 public:
  void Beep() override { ++beeps; }
  std::string RefreshHostAddress() override {
    ++looks;
    clock += secondsPerLook;
    const std::string next = addresses.front();
    if (addresses.size() > 1) addresses.pop_front();
    return next;
  }
  void RunNetworkShell(const std::string& parameters) override { commands.push_back(parameters); }
  long NowSeconds() override { return clock; }
  void Pause() override {}

  int beeps = 0;
  int looks = 0;
  long clock = 1000;
  long secondsPerLook = 1;
  std::deque<std::string> addresses = {"192.168.1.50"};
  std::vector<std::string> commands;
};

class TrySetIpAddressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(table_[0].name, "Local Area Connection");
    std::strcpy(table_[1].name, "Ethernet 2");
  }
  IpSetupOutcome Try() { return TrySetIpAddressWith(request_, system_); }

  NetworkAdapterEntry table_[NetworkAdapterCount] = {};
  IpSetupRequest request_{"10", IpRole::Therapist, 0, table_};
  FakeSystem system_;
};

}  // namespace

TEST_F(TrySetIpAddressTest, BadChoicesBeepAndRunNothing) {
  for (const char* group : {"255", "-1", "1000"}) {
    request_.groupText = group;
    EXPECT_EQ(Try(), IpSetupOutcome::Refused) << group;
  }
  request_ = {"10", IpRole::None, 0, table_};
  EXPECT_EQ(Try(), IpSetupOutcome::Refused);
  request_ = {"10", IpRole::Client, -1, table_};
  EXPECT_EQ(Try(), IpSetupOutcome::Refused);
  EXPECT_EQ(system_.beeps, 5);
  EXPECT_TRUE(system_.commands.empty());
  EXPECT_EQ(system_.looks, 0);
}

TEST_F(TrySetIpAddressTest, WithoutAnAdapterListingNothingHappensSilently) {
  request_.table = nullptr;
  EXPECT_EQ(Try(), IpSetupOutcome::NoTable);
  EXPECT_EQ(system_.beeps, 0);
  EXPECT_TRUE(system_.commands.empty());
}

TEST_F(TrySetIpAddressTest, GroupEdgesMakeTheirAddresses) {
  system_.addresses = {"192.168.1.50", "192.168.0.1"};
  request_.groupText = "0";
  EXPECT_EQ(Try(), IpSetupOutcome::Waited);
  system_.addresses = {"192.168.1.50", "192.168.254.2"};
  request_ = {"254", IpRole::Client, 1, table_};
  EXPECT_EQ(Try(), IpSetupOutcome::Waited);
  EXPECT_EQ(system_.commands,
            (std::vector<std::string>{
                "interface ip set address name=\"Local Area Connection\" static 192.168.0.1 255.255.255.0 ",
                "interface ip set address name=\"Ethernet 2\" static 192.168.254.2 255.255.255.0 "}));
  EXPECT_EQ(system_.beeps, 0);
}

TEST_F(TrySetIpAddressTest, TherapistAlreadyInGroupTenRunsNothingAndWaitsTheFullTenSeconds) {
  for (const char* group : {"10", "20"}) {  // the comparison is with the fixed text 192.168.10.1
    system_.addresses = {"192.168.10.1"};
    system_.clock = 1000;
    request_.groupText = group;
    EXPECT_EQ(Try(), IpSetupOutcome::Waited);
    EXPECT_TRUE(system_.commands.empty()) << group;
    EXPECT_EQ(system_.clock, 1011) << group;  // one look for the old address, then ten seconds
  }
}

TEST_F(TrySetIpAddressTest, ClientAlreadyAtItsAddressRunsNothing) {
  system_.addresses = {"192.168.10.2"};
  request_.role = IpRole::Client;
  EXPECT_EQ(Try(), IpSetupOutcome::Waited);
  EXPECT_TRUE(system_.commands.empty());
}

TEST_F(TrySetIpAddressTest, WaitEndsWhenTheAddressChanges) {
  system_.addresses = {"192.168.1.50", "192.168.1.50", "127.0.0.1", "192.168.10.1"};
  EXPECT_EQ(Try(), IpSetupOutcome::Waited);
  EXPECT_EQ(system_.looks, 4);
  EXPECT_EQ(system_.clock, 1004);
}

TEST_F(TrySetIpAddressTest, DhcpEndsTheWaitOnAnyAddressButLoopback) {
  system_.addresses = {"192.168.10.1", "127.0.0.1", "192.168.10.1"};
  request_.role = IpRole::Dhcp;
  EXPECT_EQ(Try(), IpSetupOutcome::Waited);
  EXPECT_EQ(system_.commands, std::vector<std::string>{"interface ip set address \"Local Area Connection\" dhcp"});
  EXPECT_EQ(system_.looks, 3);  // the unchanged 192.168.10.1 ends it, as the old address became 127.0.0.2
}

TEST_F(TrySetIpAddressTest, NamesThatCannotBeQuotedBeepAndRunNothing) {
  // The last: its parameter text would not fit in 250 characters.
  for (const std::string& name : {std::string("Evil\" & del"), std::string("Line\nbreak"), std::string("Tab\tname"),
                                  std::string("Esc\x1b"), std::string(240, 'E')}) {
    std::strcpy(table_[0].name, name.c_str());
    EXPECT_EQ(Try(), IpSetupOutcome::Refused) << name;
  }
  EXPECT_EQ(system_.beeps, 5);
  EXPECT_TRUE(system_.commands.empty());
}

TEST(NetshParametersTest, RolePicksTheTextAndTheOldAddress) {
  std::string old = "10.1.1.1";
  EXPECT_EQ(NetshParameters(IpRole::Therapist, 7, "Eth", old),
            "interface ip set address name=\"Eth\" static 192.168.7.1 255.255.255.0 ");
  EXPECT_EQ(NetshParameters(IpRole::Client, 7, "Eth", old),
            "interface ip set address name=\"Eth\" static 192.168.7.2 255.255.255.0 ");
  EXPECT_EQ(old, "10.1.1.1");
  EXPECT_EQ(NetshParameters(IpRole::Dhcp, 7, "Eth", old), "interface ip set address \"Eth\" dhcp");
  EXPECT_EQ(old, "127.0.0.2");
  old = "192.168.10.2";
  EXPECT_EQ(NetshParameters(IpRole::Client, 30, "Eth", old), "");
  EXPECT_EQ(NetshParameters(IpRole::Therapist, 30, "Eth", old),
            "interface ip set address name=\"Eth\" static 192.168.30.1 255.255.255.0 ");
}

// Every text the dialog hands to the network shell reads back, in the address helper's parser, as the
// change the dialog meant; a text the dialog builds but never sends, the parser refuses.
TEST_F(TrySetIpAddressTest, TheHelperReadsWhatTheDialogMeantAndRefusesWhatItNeverSends) {
  const std::string longest(NetshParameterLimit - StaticAddressText("", LastAddressGroup, TherapistHost).size(), 'E');
  const std::vector<std::string> names({"Local Area Connection", "Ethernet 2", "Wi-Fi wlan0", "eth0", "name=Eth",
                                        "B\xc3\xbcro LAN", "Ethernet \"2\"", "a\"b\"c", "Line\nbreak", "Tab\tname",
                                        "Esc\x1b", "Del\x7f", "", longest, longest + "E"});
  std::set<std::string> sent;
  std::vector<std::string> readButNeverSent;
  for (IpRole role : {IpRole::Client, IpRole::Therapist, IpRole::Dhcp}) {
    for (int group = FirstAddressGroup - 1; group <= LastAddressGroup + 1; ++group) {
      const std::string groupText = std::to_string(group);
      for (const std::string& name : names) {
        std::strcpy(table_[0].name, name.c_str());
        request_ = {groupText.c_str(), role, 0, table_};
        FakeSystem system;
        system.addresses = {"10.1.1.1", "10.2.2.2"};
        const bool wasSent = TrySetIpAddressWith(request_, system) == IpSetupOutcome::Waited;
        std::string oldAddress = "10.1.1.1";
        const std::string text = NetshParameters(role, group, name, oldAddress);
        AddressCommand read;
        std::string error;
        const bool wasRead = ParseAddressCommand(text, read, error);
        SCOPED_TRACE(text);
        if (!wasSent) {
          if (wasRead) readButNeverSent.push_back(text);
          continue;
        }
        ASSERT_EQ(system.commands, std::vector<std::string>{text});
        sent.insert(text);
        ASSERT_TRUE(wasRead) << error;
        EXPECT_EQ(read.adapterName, name);
        EXPECT_EQ(read.dhcp, role == IpRole::Dhcp);
        if (role == IpRole::Dhcp) continue;
        const std::uint8_t meant[4] = {192, 168, static_cast<std::uint8_t>(group),
                                       static_cast<std::uint8_t>(role == IpRole::Client ? ClientHost : TherapistHost)};
        EXPECT_EQ(DottedQuad(read.address), DottedQuad(meant));
        EXPECT_EQ(read.prefixLength, DialogPrefixLength);
      }
    }
  }
  // A DHCP text does not name the group: the one refused with a bad group is sent with a good one.
  for (const std::string& text : readButNeverSent) EXPECT_EQ(sent.count(text), 1u) << text;
  EXPECT_GE(sent.size(), 6u * (2 * (LastAddressGroup + 1) + 1)) << "the six short quotable names, in every group";
}
