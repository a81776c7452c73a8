// The address helper's reading of the parameter text and the commands it runs, through nmcli or ip.
#include "sysutil/address_change_linux.h"
#include "sysutil/address_command.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

TEST(AddressCommandTest, ReadsBothFormsTheDialogBuilds) {
  AddressCommand command;
  std::string error;
  ASSERT_TRUE(ParseAddressCommand(
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.1 255.255.255.0 ", command, error))
      << error;
  EXPECT_EQ(command.adapterName, "Local Area Connection");
  EXPECT_FALSE(command.dhcp);
  EXPECT_EQ(DottedQuad(command.address), "192.168.10.1");
  EXPECT_EQ(command.prefixLength, 24);

  ASSERT_TRUE(ParseAddressCommand("interface ip set address \"Wi-Fi wlan0\" dhcp", command, error)) << error;
  EXPECT_EQ(command.adapterName, "Wi-Fi wlan0");
  EXPECT_TRUE(command.dhcp);
  ASSERT_TRUE(ParseAddressCommand("INTERFACE IP SET ADDRESS NAME=eth0 STATIC 10.0.0.2 255.0.0.0", command, error));
  EXPECT_EQ(command.adapterName, "eth0");
  EXPECT_EQ(command.prefixLength, 8);
}

TEST(AddressCommandTest, RefusesWhatItDoesNotFullyUnderstand) {
  const char* bad[] = {
      "",
      "interface ip set address name=\"Local Area Connection static 192.168.10.1 255.255.255.0",
      "interface ip set dns name=\"x\" static 192.168.10.1 255.255.255.0",
      "interface ip set address name=\"x\" static 192.168.10.1",
      "interface ip set address name=\"x\" static 192.168.10.1 255.255.255.0 192.168.10.254",
      "interface ip set address \"x\" dhcp now",
      "interface ip set address \"\" dhcp",
      "interface ip set address name=\"a\tb\" dhcp",
      "interface ip set address name=x static 192.168.10.256 255.255.255.0",
      "interface ip set address name=x static 192.168.10 255.255.255.0",
      "interface ip set address name=x static 192.168.10.1.5 255.255.255.0",
      "interface ip set address name=x static 192.168.010.1x 255.255.255.0",
      "interface ip set address name=x static -1.2.3.4 255.255.255.0",
      "interface ip set address name=x static 192.168.10.1 255.0.255.0",
      "interface ip set address name=x static 192.168.10.1 255.255.255.255",
      "interface ip set address name=x static 192.168.10.1 0.0.0.0",
      "interface ip set address name=x static 192.168.10.0 255.255.255.0",
      "interface ip set address name=x static 192.168.10.255 255.255.255.0",
      "interface ip set address name=x static 127.0.0.5 255.255.255.0",
      "interface ip set address name=x static 224.0.0.5 255.255.255.0",
      "interface ip set address name=x static 0.1.2.3 255.255.255.0",
  };
  for (const char* text : bad) {
    AddressCommand command;
    std::string error;
    EXPECT_FALSE(ParseAddressCommand(text, command, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(AddressCommandTest, MaskLengths) {
  const std::uint8_t contiguous[4] = {255, 255, 240, 0}, gap[4] = {255, 254, 255, 0}, none[4] = {0, 0, 0, 0};
  EXPECT_EQ(MaskPrefixLength(contiguous), 20);
  EXPECT_EQ(MaskPrefixLength(gap), -1);
  EXPECT_EQ(MaskPrefixLength(none), 0);
}

TEST(AddressCommandTest, FindsInterfacesByFriendlyNameFirst) {
  std::vector<LinuxInterface> interfaces = {{"eth0", "Ethernet eth0", 2, true}, {"eth1", "eth0", 3, true}};
  EXPECT_EQ(FindInterfaceByName(interfaces, "eth0")->device, "eth1");
  EXPECT_EQ(FindInterfaceByName(interfaces, "Ethernet eth0")->device, "eth0");
  EXPECT_EQ(FindInterfaceByName(interfaces, "ETHERNET ETH0"), nullptr);
  EXPECT_TRUE(IsPlainDeviceName("enp3s0.100"));
  EXPECT_FALSE(IsPlainDeviceName("-rf"));
  EXPECT_FALSE(IsPlainDeviceName("a b"));
  EXPECT_FALSE(IsPlainDeviceName("averyveryverylongname"));
}

namespace {

// Answers nmcli's questions from a table and records every command.
class RecordingRunner : public CommandRunner {
 public:
  int Run(const CommandLine& argv, std::string* output) override {
    std::string line;
    for (const std::string& word : argv) line += (line.empty() ? "" : " ") + (word.empty() ? "''" : word);
    ran.push_back(line);
    auto answer = answers.find(line);
    if (output && answer != answers.end()) *output = answer->second;
    return failing == line ? 4 : 0;
  }
  bool Installed(const std::string& program) override { return installed.count(program) > 0; }
  bool FileExists(const std::string& path) override { return files.count(path) > 0; }

  std::set<std::string> installed = {"ip"};
  std::set<std::string> files;
  std::map<std::string, std::string> answers;
  std::string failing;
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

}  // namespace

TEST(AddressChangeTest, WithoutNetworkManagerUsesIp) {
  RecordingRunner runner;
  std::string error;
  EXPECT_EQ(ApplyAddressCommand(Static(StaticText), "eth0", runner, error), 0);
  EXPECT_EQ(runner.ran, (std::vector<std::string>{"ip -4 address flush dev eth0",
                                                  "ip address add 192.168.10.2/24 broadcast + dev eth0",
                                                  "ip link set dev eth0 up"}));
}

TEST(AddressChangeTest, DhcpNeedsDhclientAndStopsTheOldOne) {
  RecordingRunner runner;
  std::string error;
  EXPECT_EQ(ApplyAddressCommand(Static(DhcpText), "eth0", runner, error), 2);
  EXPECT_TRUE(runner.ran.empty());  // the address stays when no DHCP client could replace it
  EXPECT_NE(error.find("dhclient"), std::string::npos);

  runner.installed.insert("dhclient");
  runner.files.insert("/run/dhclient.eth0.pid");
  EXPECT_EQ(ApplyAddressCommand(Static(DhcpText), "eth0", runner, error), 0);
  EXPECT_EQ(runner.ran,
            (std::vector<std::string>{"dhclient -x -pf /run/dhclient.eth0.pid eth0", "ip -4 address flush dev eth0",
                                      "ip link set dev eth0 up",
                                      "dhclient -nw -pf /run/dhclient.eth0.pid -lf "
                                      "/var/lib/dhcp/dhclient.eth0.leases eth0"}));
}

TEST(AddressChangeTest, ManagedInterfacesChangeTheirConnectionByUuid) {
  RecordingRunner runner;
  runner.installed.insert("nmcli");
  runner.answers["nmcli -g GENERAL.STATE device show eth0"] = "100 (connected)\n";
  runner.answers["nmcli -g GENERAL.CON-UUID device show eth0"] = "0d5e-77\n";
  std::string error;
  EXPECT_EQ(ApplyAddressCommand(Static(StaticText), "eth0", runner, error), 0);
  EXPECT_EQ(runner.ran[2],
            "nmcli connection modify 0d5e-77 ipv4.method manual ipv4.addresses 192.168.10.2/24 ipv4.gateway ''");
  EXPECT_EQ(runner.ran[3], "nmcli connection up 0d5e-77");

  runner.ran.clear();
  runner.failing = "nmcli connection up 0d5e-77";
  EXPECT_EQ(ApplyAddressCommand(Static(DhcpText), "eth0", runner, error), 2);
  EXPECT_EQ(runner.ran[2], "nmcli connection modify 0d5e-77 ipv4.method auto ipv4.addresses '' ipv4.gateway ''");
  EXPECT_NE(error.find("failed"), std::string::npos);
}

TEST(AddressChangeTest, InactiveManagedInterfaceUsesTheProfileBoundToIt) {
  RecordingRunner runner;
  runner.installed.insert("nmcli");
  runner.answers["nmcli -g GENERAL.STATE device show eth1"] = "30 (disconnected)\n";
  runner.answers["nmcli -g UUID connection show"] = "aaa\nbbb\n";
  runner.answers["nmcli -g connection.interface-name connection show aaa"] = "wlan0\n";
  runner.answers["nmcli -g connection.interface-name connection show bbb"] = "eth1\n";
  std::string error;
  EXPECT_EQ(ApplyAddressCommand(Static(StaticText), "eth1", runner, error), 0);
  EXPECT_EQ(runner.ran.back(), "nmcli connection up bbb");

  runner.answers.erase("nmcli -g connection.interface-name connection show bbb");
  EXPECT_EQ(ApplyAddressCommand(Static(StaticText), "eth1", runner, error), 2);
  EXPECT_NE(error.find("no connection profile"), std::string::npos);
}

TEST(AddressChangeTest, UnmanagedInterfacesGoThroughIp) {
  RecordingRunner runner;
  runner.installed.insert("nmcli");
  runner.answers["nmcli -g GENERAL.STATE device show eth0"] = "10 (unmanaged)\n";
  std::string error;
  EXPECT_EQ(ApplyAddressCommand(Static(StaticText), "eth0", runner, error), 0);
  EXPECT_EQ(runner.ran.back(), "ip link set dev eth0 up");
}
