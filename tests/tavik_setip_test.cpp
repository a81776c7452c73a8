// The address helper for real, inside a network namespace of the test's own: a static address set and
// read back with ip, bad parameters refused, and the whole road from the dialog's parameter text through
// the elevation stand-in. In the same namespace the change's library, over a configuration root of the
// test's own: the new address before the old goes, and the change kept by ifupdown or systemd-networkd.
// Which copy of the helper may be raised to root.
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <algorithm>
#include <map>
#include <sstream>
#include <thread>

#include "netns_fixture.h"
#include "scratch_tree.h"
#include "sysutil/address_change_linux.h"
#include "sysutil/network_shell.h"
#include "sysutil/trusted_helper.h"

namespace {

const std::string Helper = TAVIK_SETIP_PATH;

std::string Quote(const std::string& text) { return "'" + text + "'"; }

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Joined(const CommandLine& argv) {
  std::string text;
  for (const std::string& word : argv) text += (text.empty() ? "" : " ") + word;
  return text;
}

AddressCommand Static(const char* text) {
  AddressCommand command;
  std::string error;
  EXPECT_TRUE(ParseAddressCommand(text, command, error)) << error;
  return command;
}

// Runs ip and sysctl inside the namespace, records every command, and answers for the services'
// programs (networkctl, nmcli, dhclient) without running them; `refuse` names commands that fail.
class NamespaceRunner : public CommandRunner {
 public:
  explicit NamespaceRunner(std::string ns) : ns_(std::move(ns)) {}
  int Run(const CommandLine& argv, std::string* output) override {
    ran.push_back(Joined(argv));
    if (refuse.count(Joined(argv))) return 2;
    if (argv[0] != "ip" && argv[0] != "sysctl") return 0;
    std::string line = "ip netns exec " + ns_;
    for (const std::string& word : argv) line += " " + Quote(word);
    FILE* pipe = popen((line + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
      if (output) *output += buffer;
    }
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  bool Installed(const std::string&) override { return true; }
  void Pause(int) override {}

  std::vector<std::string> ran;
  std::map<std::string, bool> refuse;

 private:
  std::string ns_;
};

}  // namespace

class AddressHelperTest : public NetNamespaceTest {
 protected:
  int Helper(const std::string& parameters) {
    int status = std::system((In(::Helper + " " + Quote(parameters)) + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  LinuxInterface Tva() const {
    LinuxInterface tva;
    tva.device = "tva";
    tva.index = static_cast<unsigned>(std::atoi(CommandOutput("ip -n " + ns_ + " -o link show tva").c_str()));
    return tva;
  }
};

TEST_F(AddressHelperTest, SetsAStaticAddressOnTheNamedAdapter) {
  ASSERT_TRUE(RunQuietly(In("ip address add 10.9.9.9/8 dev tva")));
  EXPECT_EQ(Helper("interface ip set address name=\"Local Area Connection\" static 192.168.10.1 255.255.255.0 "), 0);
  std::string addresses = Addresses();
  EXPECT_NE(addresses.find("inet 192.168.10.1/24 brd 192.168.10.255"), std::string::npos) << addresses;
  EXPECT_EQ(addresses.find("10.9.9.9"), std::string::npos) << addresses;  // replaced, as the network shell does

  EXPECT_EQ(Helper("interface ip set address name=\"Local Area Connection\" static 192.168.20.2 255.255.255.0 "), 0);
  EXPECT_NE(Addresses().find("inet 192.168.20.2/24"), std::string::npos);
  EXPECT_EQ(Addresses().find("192.168.10.1"), std::string::npos);

  // The new address of the same subnet is added beside the old one, which must go without taking it along.
  EXPECT_EQ(Helper("interface ip set address name=\"Local Area Connection\" static 192.168.20.3 255.255.255.0 "), 0);
  EXPECT_NE(Addresses().find("inet 192.168.20.3/24"), std::string::npos) << Addresses();
  EXPECT_EQ(Addresses().find("inet 192.168.20.2/"), std::string::npos) << Addresses();
}

TEST_F(AddressHelperTest, RefusesBadNamesAddressesAndMasks) {
  ASSERT_TRUE(RunQuietly(In("ip address add 192.168.10.1/24 dev tva")));
  const char* refused[] = {
      "interface ip set address name=\"Local Area Network\" static 192.168.10.2 255.255.255.0 ",
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.300 255.255.255.0 ",
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.0 255.255.255.0 ",
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.2 255.255.0.255 ",
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.2 ",
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.2 255.255.255.0; reboot",
      "interface ip set address name=\"tvb\" static 192.168.10.2 255.255.255.0 trailing",
      "interface ip set address name=\"lo\" static 192.168.10.2 255.255.255.0 ",
      "interface ip set address \"lo\" dhcp",
  };
  for (const char* parameters : refused) EXPECT_EQ(Helper(parameters), AddressBadParameters) << parameters;
  EXPECT_NE(Addresses().find("inet 192.168.10.1/24"), std::string::npos);  // untouched
}

TEST_F(AddressHelperTest, KernelNamesWorkWhenNoFriendlyNameMatches) {
  EXPECT_EQ(Helper("interface ip set address name=\"tvb\" static 172.16.5.9 255.255.0.0 "), 0);
  EXPECT_NE(CommandOutput("ip -n " + ns_ + " -4 -o address show dev tvb").find("inet 172.16.5.9/16"),
            std::string::npos);
}

TEST_F(AddressHelperTest, TheOldAddressStaysWhenTheNewOneCannotBeAdded) {
  ASSERT_TRUE(RunQuietly(In("ip address add 10.9.9.9/8 dev tva")));
  NamespaceRunner runner(ns_);
  runner.refuse["ip address add 192.168.10.1/24 broadcast + dev tva"] = true;
  AddressChangeResult result = ApplyAddressCommand(
      Static("interface ip set address name=\"tva\" static 192.168.10.1 255.255.255.0 "), Tva(), runner, "");
  EXPECT_EQ(result.status, AddressUnchanged) << result.message;
  EXPECT_NE(result.message.find("tva keeps 10.9.9.9/8"), std::string::npos) << result.message;
  EXPECT_NE(Addresses().find("inet 10.9.9.9/8"), std::string::npos);
}

TEST_F(AddressHelperTest, IfupdownKeepsTheChangeInAStanzaOfItsOwn) {
  ScratchTree root("tavik-etc");
  root.Write("etc/network/interfaces",
             "source /etc/network/interfaces.d/*\n\nauto tva\niface tva inet static\n    address 10.9.9.9/8\n"
             "# the peer\niface tva inet6 auto\n");
  root.Write("run/network/ifstate.tva", "tva\n");
  ASSERT_TRUE(RunQuietly(In("ip address add 10.9.9.9/8 dev tva")));
  NamespaceRunner runner(ns_);
  AddressChangeResult result = ApplyAddressCommand(
      Static("interface ip set address name=\"tva\" static 192.168.10.1 255.255.255.0 "), Tva(), runner, root.Root());
  EXPECT_EQ(result.status, AddressChanged) << result.message;
  EXPECT_EQ(result.message, "tva now has 192.168.10.1/24; ifupdown keeps it for the next start");
  EXPECT_EQ(ReadTextFile(root.Path("etc/network/interfaces")),
            "source /etc/network/interfaces.d/*\n\nauto tva\n#tavik-setip# iface tva inet static\n"
            "#tavik-setip#     address 10.9.9.9/8\n# the peer\niface tva inet6 auto\n");
  const std::string own = ReadTextFile(root.Path("etc/network/interfaces.d/tavik-tva"));
  EXPECT_NE(own.find("\niface tva inet static\n    address 192.168.10.1/24\n"), std::string::npos) << own;
  EXPECT_EQ(own.find("allow-hotplug"), std::string::npos) << "auto tva is kept where it was";
  EXPECT_EQ(Addresses().find("10.9.9.9"), std::string::npos) << Addresses();
  EXPECT_NE(Addresses().find("inet 192.168.10.1/24"), std::string::npos) << Addresses();
}

TEST_F(AddressHelperTest, NetworkdTakesAFileThatComesFirstOrTheChangeIsNotKept) {
  ScratchTree root("tavik-etc");
  const std::string state = "run/systemd/netif/links/" + std::to_string(Tva().index);
  root.Write(state, "# This is private data. Do not parse.\nADMIN_STATE=configured\n"
                    "NETWORK_FILE=/usr/lib/systemd/network/80-wired.network\n");
  NamespaceRunner runner(ns_);
  AddressChangeResult result = ApplyAddressCommand(
      Static("interface ip set address name=\"tva\" static 192.168.10.1 255.255.255.0 "), Tva(), runner, root.Root());
  EXPECT_EQ(result.status, AddressChanged) << result.message;
  EXPECT_NE(ReadTextFile(root.Path("etc/systemd/network/00-tavik-tva.network"))
                .find("[Match]\nName=tva\n\n[Network]\nAddress=192.168.10.1/24\n"),
            std::string::npos);
  EXPECT_NE(std::find(runner.ran.begin(), runner.ran.end(), "networkctl reload"), runner.ran.end());

  root.Write(state, "ADMIN_STATE=configured\nNETWORK_FILE=/etc/systemd/network/00-admin.network\n");
  result = ApplyAddressCommand(Static("interface ip set address name=\"tva\" static 192.168.10.2 255.255.255.0 "),
                               Tva(), runner, root.Root());
  EXPECT_EQ(result.status, AddressNotKept) << result.message;
  EXPECT_NE(result.message.find("from /etc/systemd/network/00-admin.network, which comes before"), std::string::npos);
  EXPECT_NE(Addresses().find("inet 192.168.10.2/24"), std::string::npos) << "in effect all the same";
}

TEST_F(AddressHelperTest, NetworkShellRunsTheHelperThroughTheElevationStandIn) {
  std::string runner = "/tmp/tavik_runner_" + std::to_string(getpid());
  std::string record = runner + ".args";
  std::ofstream(runner) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > " << record << ".part\n"
                        << "ip netns exec " << ns_ << " \"$@\"\nmv " << record << ".part " << record << "\n";
  chmod(runner.c_str(), 0700);
  setenv("TAVIK_ELEVATION_RUNNER", runner.c_str(), 1);
  const std::string parameters =
      "interface ip set address name=\"Local Area Connection\" static 192.168.30.1 255.255.255.0 ";
  RunNetworkShell(parameters);
  unsetenv("TAVIK_ELEVATION_RUNNER");
  for (int i = 0; i < 100 && access(record.c_str(), F_OK) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::ifstream recorded(record);
  std::string helper, text;
  std::getline(recorded, helper);
  std::getline(recorded, text);
  EXPECT_EQ(helper, ::Helper);
  EXPECT_EQ(text, parameters);
  EXPECT_NE(Addresses().find("inet 192.168.30.1/24"), std::string::npos);
  std::remove(runner.c_str());
  std::remove(record.c_str());
}

TEST(TrustedHelperTest, OnlyRootsOwnUntouchableFilesMayBeRaised) {
  if (geteuid() != 0) GTEST_SKIP() << "the files a test can make are its user's, not root's";
  EXPECT_TRUE(IsProtectedRootFile("/usr/bin/env"));
  ScratchTree scratch("tavik-helper");  // under the world-writable /tmp
  scratch.Write("tavik-setip", "#!/bin/sh\n");
  chmod(scratch.Path("tavik-setip").c_str(), 0755);
  EXPECT_FALSE(IsProtectedRootFile(scratch.Path("tavik-setip")));
  scratch.Link("env", "/usr/bin/env");
  EXPECT_FALSE(IsProtectedRootFile(scratch.Path("env"))) << "a link an ordinary user may change";
  EXPECT_EQ(TrustedHelperPath("env", scratch.Root(), "/usr/bin"), "/usr/bin/env");
  EXPECT_EQ(TrustedHelperPath("tavik-setip", scratch.Root(), "/usr/bin"), "");
}
