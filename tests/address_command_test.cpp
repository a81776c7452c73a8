// The address helper's reading of the parameter text beyond the dialog's own texts, the adapters it takes,
// and the commands it runs, through nmcli or ip: the new address before the old one goes, and the old one
// back when the change fails.
#include "setip/address_change_linux.h"
#include "netsetup/address_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "scratch_tree.h"

// The dialog's own texts are read back in its test; the network shell also takes other spellings.
TEST(AddressCommandTest, ReadsTheNetworkShellsOtherSpellings) {
  AddressCommand command;
  std::string error;
  ASSERT_TRUE(
      ParseAddressCommand("INTERFACE IP SET ADDRESS NAME=eth0 STATIC 192.168.254.2 255.255.255.0", command, error));
  EXPECT_EQ(command.adapterName, "eth0");
  EXPECT_EQ(DottedQuad(command.address), "192.168.254.2");
}

TEST(AddressCommandTest, RefusesWhatItDoesNotFullyUnderstand) {
  std::vector<std::string> bad = {
      "",
      "interface ip set address name=\"Local Area Connection static 192.168.10.1 255.255.255.0",
      "interface ip set dns name=\"x\" static 192.168.10.1 255.255.255.0",
      "interface ip set address name=\"x\" static 192.168.10.1",
      "interface ip set address name=\"x\" static 192.168.10.1 255.255.255.0 192.168.10.254",
      "interface ip set address \"x\" dhcp now",
      "interface ip set address \"\" dhcp",
      "interface ip set address name=\"a\tb\" dhcp",
  };
  // Addresses and masks that do not parse or name no host, then well-formed ones the dialog never sets.
  for (const char* address :
       {"192.168.10.256 255.255.255.0", "192.168.10 255.255.255.0", "192.168.10.1.5 255.255.255.0",
        "192.168.010.1x 255.255.255.0", "-1.2.3.4 255.255.255.0", "192.168.10.1 255.0.255.0",
        "192.168.10.1 255.255.255.255", "192.168.10.1 0.0.0.0", "192.168.10.0 255.255.255.0",
        "192.168.10.255 255.255.255.0", "127.0.0.5 255.255.255.0", "224.0.0.5 255.255.255.0", "0.1.2.3 255.255.255.0",
        "10.0.0.2 255.0.0.0", "192.168.10.1 255.255.0.0", "192.168.10.3 255.255.255.0", "192.168.255.1 255.255.255.0",
        "192.169.10.1 255.255.255.0", "172.16.10.2 255.255.255.0"})
    bad.push_back(std::string("interface ip set address name=x static ") + address);
  for (const std::string& text : bad) {
    AddressCommand command;
    std::string error;
    EXPECT_FALSE(ParseAddressCommand(text, command, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

// The dialog's rule: adapters listed by name, among its first six, wired.
TEST(AddressCommandTest, TakesOnlyTheWiredAdaptersTheDialogOffers) {
  std::vector<LinuxInterface> interfaces = {{"lo", "lo", 1, true},
                                            {"eth0", "Ethernet eth0", 2, true},
                                            {"wlan0", "Wi-Fi wlan0", 3, true},
                                            {"eth1", "Local Area Connection", 4, true}};
  for (unsigned i = 5; i <= 8; ++i)
    interfaces.push_back({"eth" + std::to_string(i), "Ethernet eth" + std::to_string(i), i, true});
  std::string why;
  EXPECT_EQ(FindOfferedInterface(interfaces, "Ethernet eth0", why)->device, "eth0");
  EXPECT_EQ(FindOfferedInterface(interfaces, "Local Area Connection", why)->device, "eth1");
  EXPECT_EQ(FindOfferedInterface(interfaces, "Ethernet eth7", why)->device, "eth7");  // the sixth listed
  const std::pair<const char*, const char*> refused[] = {
      {"eth0", "no network adapter that the IP set-up dialog lists"},
      {"lo", "no network adapter that the IP set-up dialog lists"},
      {"ETHERNET ETH0", "no network adapter that the IP set-up dialog lists"},
      {"Wi-Fi wlan0", "not a wired adapter"},
      {"Ethernet eth8", "shows only the first 6 adapters"},
  };
  for (const auto& [name, reason] : refused) {
    EXPECT_EQ(FindOfferedInterface(interfaces, name, why), nullptr) << name;
    EXPECT_NE(why.find(reason), std::string::npos) << why;
  }
  for (const char* name : {"-rf", "a b", "averyveryverylongname"}) EXPECT_FALSE(IsPlainDeviceName(name)) << name;
  EXPECT_TRUE(IsPlainDeviceName("enp3s0.100"));
}

namespace {

// Answers nmcli's questions from a table, keeps the interface's addresses as ip and dhclient would change
// them, and records every command that changes something.
class RecordingRunner : public CommandRunner {
 public:
  int Run(const CommandLine& argv, std::string* output) override {
    std::string line;
    for (const std::string& word : argv) line += (line.empty() ? "" : " ") + (word.empty() ? "''" : word);
    auto answer = answers.find(line);
    if (answer != answers.end()) {
      if (output) *output = answer->second;
      return 0;
    }
    if (line.rfind("ip -4 -o address show dev ", 0) == 0 && output) {
      for (const auto& [cidr, dynamic] : addresses)
        *output += "2: eth0    inet " + cidr + (dynamic ? " dynamic" : "") + "\n";
      return 0;
    }
    ran.push_back(line);
    if (failing.count(line) && failing[line]-- > 0) return 4;
    if (argv[0] == "ip" && argv[1] == "address" && argv[2] == "add") addresses.emplace(argv[3], false);
    if (argv[0] == "ip" && argv[1] == "address" && argv[2] == "del") addresses.erase(argv[3]);
    if (argv[0] == "dhclient" && argv[1] == "-1" && !lease.empty()) addresses.emplace(lease, true);
    return 0;
  }
  bool Installed(const std::string& program) override { return installed.count(program) > 0; }
  void Pause(int) override {}

  std::size_t Index(const std::string& line) const { return std::find(ran.begin(), ran.end(), line) - ran.begin(); }

  std::set<std::string> installed = {"ip"};
  std::map<std::string, std::string> answers;
  std::map<std::string, int> failing;                               // how many more times a command fails
  std::map<std::string, bool> addresses = {{"10.0.0.5/8", false}};  // and whether each is leased
  std::string lease;                                                // what a DHCP server would give
  std::vector<std::string> ran;
};

AddressCommand Static(const char* text) {
  AddressCommand command;
  std::string error;
  ParseAddressCommand(text, command, error);
  return command;
}

const char* const StaticText = "interface ip set address name=\"LAN\" static 192.168.10.2 255.255.255.0 ";
const char* const DhcpText = "interface ip set address \"LAN\" dhcp";

// A configuration root with nothing in it: no service configures the interface.
class AddressChangeTest : public ::testing::Test {
 protected:
  AddressChangeResult Apply(const char* text, const char* device = "eth0") {
    return ApplyAddressCommand(Static(text), {device, "", 2}, runner, root.Root());
  }
  ScratchTree root{"tavik-config"};
  RecordingRunner runner;
};

}  // namespace

TEST_F(AddressChangeTest, TheNewAddressIsInPlaceBeforeTheOldGoes) {
  AddressChangeResult result = Apply(StaticText);
  EXPECT_EQ(result.status, AddressChanged);
  EXPECT_EQ(result.message,
            "eth0 now has 192.168.10.2/24; no network configuration service configures eth0, so it "
            "lasts until the next start");
  EXPECT_LT(runner.Index("ip address add 192.168.10.2/24 broadcast + dev eth0"),
            runner.Index("ip address del 10.0.0.5/8 dev eth0"));
  EXPECT_LT(runner.Index("sysctl -q -w net/ipv4/conf/eth0/promote_secondaries=1"),
            runner.Index("ip address del 10.0.0.5/8 dev eth0"));
  EXPECT_EQ(runner.addresses, (std::map<std::string, bool>{{"192.168.10.2/24", false}}));

  runner.failing["ip address add 192.168.10.2/24 broadcast + dev eth0"] = 1;
  runner.addresses = {{"10.0.0.5/8", false}};
  result = Apply(StaticText);
  EXPECT_EQ(result.status, AddressUnchanged);
  EXPECT_EQ(result.message, "ip could not add 192.168.10.2/24; eth0 keeps 10.0.0.5/8");
  EXPECT_EQ(runner.addresses.count("10.0.0.5/8"), 1u);
}

TEST_F(AddressChangeTest, DhcpWaitsForALeaseBeforeTheOldAddressGoes) {
  AddressChangeResult result = Apply(DhcpText);
  EXPECT_EQ(result.status, AddressUnchanged);  // the address stays when no DHCP client could replace it
  EXPECT_NE(result.message.find("dhclient"), std::string::npos);
  EXPECT_TRUE(runner.ran.empty());

  runner.installed.insert("dhclient");
  result = Apply(DhcpText);
  EXPECT_EQ(result.status, AddressRestored) << "no server answered: " << result.message;
  EXPECT_EQ(runner.addresses.count("10.0.0.5/8"), 1u);
  EXPECT_EQ(runner.Index("ip address del 10.0.0.5/8 dev eth0"), runner.ran.size());

  runner.lease = "192.168.1.7/24";
  result = Apply(DhcpText);
  EXPECT_EQ(result.status, AddressChanged) << result.message;
  EXPECT_EQ(runner.addresses, (std::map<std::string, bool>{{"192.168.1.7/24", true}}));
  EXPECT_EQ(Apply(DhcpText).message.rfind("eth0 already takes its address from DHCP (192.168.1.7/24)", 0), 0u);
}

TEST_F(AddressChangeTest, ManagedInterfacesChangeTheirConnectionByUuid) {
  runner.installed.insert("nmcli");
  runner.answers["nmcli -g GENERAL.STATE device show eth0"] = "100 (connected)\n";
  runner.answers["nmcli -g GENERAL.CON-UUID device show eth0"] = "0d5e-77\n";
  runner.answers["nmcli -g ipv4.method,ipv4.addresses,ipv4.gateway connection show 0d5e-77"] =
      "manual\n10.0.0.5/8\n10.0.0.1\n";
  EXPECT_EQ(Apply(StaticText).status, AddressChanged);
  EXPECT_EQ(runner.ran,
            (std::vector<std::string>{
                "nmcli connection modify 0d5e-77 ipv4.method manual ipv4.addresses 192.168.10.2/24 ipv4.gateway ''",
                "nmcli device reapply eth0"}));

  // A profile that NetworkManager cannot apply goes back to what it was.
  runner.ran.clear();
  runner.failing["nmcli device reapply eth0"] = 1;
  EXPECT_EQ(Apply(DhcpText).status, AddressRestored);
  EXPECT_EQ(runner.ran,
            (std::vector<std::string>{
                "nmcli connection modify 0d5e-77 ipv4.method auto ipv4.addresses '' ipv4.gateway ''",
                "nmcli device reapply eth0",
                "nmcli connection modify 0d5e-77 ipv4.method manual ipv4.addresses 10.0.0.5/8 ipv4.gateway 10.0.0.1",
                "nmcli device reapply eth0"}));
  runner.failing["nmcli device reapply eth0"] = 2;
  EXPECT_EQ(Apply(DhcpText).status, AddressLost);
}

TEST_F(AddressChangeTest, InactiveManagedInterfaceUsesTheProfileBoundToIt) {
  runner.installed.insert("nmcli");
  runner.answers["nmcli -g GENERAL.STATE device show eth1"] = "30 (disconnected)\n";
  runner.answers["nmcli -g GENERAL.CON-UUID device show eth1"] = "\n";
  runner.answers["nmcli -g UUID connection show"] = "aaa\nbbb\n";
  runner.answers["nmcli -g connection.interface-name connection show aaa"] = "wlan0\n";
  runner.answers["nmcli -g connection.interface-name connection show bbb"] = "eth1\n";
  EXPECT_EQ(Apply(StaticText, "eth1").status, AddressChanged);
  EXPECT_EQ(runner.ran.back(), "nmcli connection up bbb");

  runner.answers.erase("nmcli -g connection.interface-name connection show bbb");
  AddressChangeResult result = Apply(StaticText, "eth1");
  EXPECT_EQ(result.status, AddressUnchanged);
  EXPECT_NE(result.message.find("no connection profile"), std::string::npos);
}

TEST_F(AddressChangeTest, UnmanagedInterfacesGoThroughIp) {
  runner.installed.insert("nmcli");
  runner.answers["nmcli -g GENERAL.STATE device show eth0"] = "10 (unmanaged)\n";
  EXPECT_EQ(Apply(StaticText).status, AddressChanged);
  EXPECT_EQ(runner.addresses, (std::map<std::string, bool>{{"192.168.10.2/24", false}}));
}
