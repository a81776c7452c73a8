// The address helper: its reading of the parameter text beyond the dialog's own texts, the adapters it
// takes and the commands it runs (nmcli or ip, new address before the old goes) over a recording runner;
// then the program for real, in a network namespace of the test's own with umask 0: addresses set and
// refused, its log, the files that keep the change (modes, owners, access lists, links), the road from the
// dialog's text through the elevation stand-in, every ip call failing in turn, and which copy may be raised.
#include "setip/address_change_linux.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "eventually.h"
#include "netns_fixture.h"
#include "read_file.h"
#include "scratch_tree.h"
#include "system_log_capture.h"
#include "netsetup/network_shell.h"
#include "netsetup/trusted_helper.h"

namespace {

const std::string Helper = TAVIK_SETIP_PATH;

std::string Quote(const std::string& text) { return "'" + text + "'"; }
bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
// A command line as the runners record it, an empty word quoted.
std::string Joined(const CommandLine& argv) {
  std::string line;
  for (const std::string& word : argv) line += (line.empty() ? "" : " ") + (word.empty() ? "''" : word);
  return line;
}

// The text the dialog sends for a static address on the named adapter.
std::string StaticOn(const std::string& name, const std::string& address) {
  return "interface ip set address name=\"" + name + "\" static " + address + " 255.255.255.0 ";
}
const std::string StaticText = StaticOn("Local Area Connection", "192.168.10.1");

AddressCommand Static(const std::string& text) {
  AddressCommand command;
  std::string error;
  EXPECT_TRUE(ParseAddressCommand(text, command, error)) << error;
  return command;
}

// The dialog's own texts are read back in its test; the network shell also takes other spellings.
TEST(AddressCommandTest, ReadsTheNetworkShellsOtherSpellings) {
  const AddressCommand command = Static("INTERFACE IP SET ADDRESS NAME=eth0 STATIC 192.168.254.2 255.255.255.0");
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
      "interface ip set address name=\"a\tb\" dhcp",
  };
  // Addresses and masks that do not parse or name no host, then well-formed ones the dialog never sets.
  for (const char* address :
       {"192.168.10.256 255.255.255.0", "192.168.10 255.255.255.0", "192.168.10.1.5 255.255.255.0",
        "192.168.010.1x 255.255.255.0", "-1.2.3.4 255.255.255.0", "192.168.10.1 255.0.255.0",
        "192.168.10.1 255.255.255.255", "192.168.10.1 0.0.0.0", "192.168.10.0 255.255.255.0",
        "192.168.10.255 255.255.255.0", "127.0.0.5 255.255.255.0", "224.0.0.5 255.255.255.0", "0.1.2.3 255.255.255.0",
        "10.0.0.2 255.0.0.0", "192.168.10.1 255.255.0.0", "192.169.10.1 255.255.255.0", "172.16.10.2 255.255.255.0"})
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
      {"ETHERNET ETH0", "no network adapter that the IP set-up dialog lists"},
      {"Ethernet eth8", "shows only the first 6 adapters"},
  };
  for (const auto& [name, reason] : refused) {
    EXPECT_EQ(FindOfferedInterface(interfaces, name, why), nullptr) << name;
    EXPECT_TRUE(Has(why, reason)) << why;
  }
  for (const char* name : {"-rf", "a b", "averyveryverylongname"}) EXPECT_FALSE(IsPlainDeviceName(name)) << name;
  EXPECT_TRUE(IsPlainDeviceName("enp3s0.100"));
}

// Answers nmcli's questions from a table, keeps the interface's addresses as ip and dhclient would change
// them, and records every command that changes something.
class RecordingRunner : public CommandRunner {
 public:
  int Run(const CommandLine& argv, std::string* output) override {
    const std::string line = Joined(argv);
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

const std::string LanStatic = StaticOn("LAN", "192.168.10.2"), LanDhcp = "interface ip set address \"LAN\" dhcp";

// A configuration root with nothing in it: no service configures the interface.
class AddressChangeTest : public ::testing::Test {
 protected:
  AddressChangeResult Apply(const std::string& text, const char* device = "eth0") {
    return ApplyAddressCommand(Static(text), {device, "", 2}, runner, root.Root());
  }
  ScratchTree root{"tavik-config"};
  RecordingRunner runner;
};

TEST_F(AddressChangeTest, TheNewAddressIsInPlaceBeforeTheOldGoes) {
  AddressChangeResult result = Apply(LanStatic);
  EXPECT_EQ(result.status, AddressChanged);
  EXPECT_EQ(result.message,
            "eth0 now has 192.168.10.2/24; no network configuration service configures eth0, so it "
            "lasts until the next start");
  const std::size_t oldGoes = runner.Index("ip address del 10.0.0.5/8 dev eth0");
  EXPECT_LT(runner.Index("ip address add 192.168.10.2/24 broadcast + dev eth0"), oldGoes);
  EXPECT_LT(runner.Index("sysctl -q -w net/ipv4/conf/eth0/promote_secondaries=1"), oldGoes);
  EXPECT_EQ(runner.addresses, (std::map<std::string, bool>{{"192.168.10.2/24", false}}));

  runner.failing["ip address add 192.168.10.2/24 broadcast + dev eth0"] = 1;
  runner.addresses = {{"10.0.0.5/8", false}};
  result = Apply(LanStatic);
  EXPECT_EQ(result.status, AddressUnchanged);
  EXPECT_EQ(result.message, "ip could not add 192.168.10.2/24; eth0 keeps 10.0.0.5/8");
  EXPECT_EQ(runner.addresses.count("10.0.0.5/8"), 1u);
}

TEST_F(AddressChangeTest, DhcpWaitsForALeaseBeforeTheOldAddressGoes) {
  AddressChangeResult result = Apply(LanDhcp);
  EXPECT_EQ(result.status, AddressUnchanged);  // the address stays when no DHCP client could replace it
  EXPECT_TRUE(Has(result.message, "dhclient"));
  EXPECT_TRUE(runner.ran.empty());

  runner.installed.insert("dhclient");
  result = Apply(LanDhcp);
  EXPECT_EQ(result.status, AddressRestored) << "no server answered: " << result.message;
  EXPECT_EQ(runner.addresses.count("10.0.0.5/8"), 1u);
  EXPECT_EQ(runner.Index("ip address del 10.0.0.5/8 dev eth0"), runner.ran.size());

  runner.lease = "192.168.1.7/24";
  result = Apply(LanDhcp);
  EXPECT_EQ(result.status, AddressChanged) << result.message;
  EXPECT_EQ(runner.addresses, (std::map<std::string, bool>{{"192.168.1.7/24", true}}));
  EXPECT_EQ(Apply(LanDhcp).message.rfind("eth0 already takes its address from DHCP (192.168.1.7/24)", 0), 0u);
}

TEST_F(AddressChangeTest, ManagedInterfacesChangeTheirConnectionByUuid) {
  runner.installed.insert("nmcli");
  runner.answers["nmcli -g GENERAL.STATE device show eth0"] = "100 (connected)\n";
  runner.answers["nmcli -g GENERAL.CON-UUID device show eth0"] = "0d5e-77\n";
  runner.answers["nmcli -g ipv4.method,ipv4.addresses,ipv4.gateway connection show 0d5e-77"] =
      "manual\n10.0.0.5/8\n10.0.0.1\n";
  EXPECT_EQ(Apply(LanStatic).status, AddressChanged);
  EXPECT_EQ(runner.ran,
            (std::vector<std::string>{
                "nmcli connection modify 0d5e-77 ipv4.method manual ipv4.addresses 192.168.10.2/24 ipv4.gateway ''",
                "nmcli device reapply eth0"}));

  // A profile that NetworkManager cannot apply goes back to what it was.
  runner.ran.clear();
  runner.failing["nmcli device reapply eth0"] = 1;
  EXPECT_EQ(Apply(LanDhcp).status, AddressRestored);
  EXPECT_EQ(runner.ran,
            (std::vector<std::string>{
                "nmcli connection modify 0d5e-77 ipv4.method auto ipv4.addresses '' ipv4.gateway ''",
                "nmcli device reapply eth0",
                "nmcli connection modify 0d5e-77 ipv4.method manual ipv4.addresses 10.0.0.5/8 ipv4.gateway 10.0.0.1",
                "nmcli device reapply eth0"}));
  runner.failing["nmcli device reapply eth0"] = 2;
  EXPECT_EQ(Apply(LanDhcp).status, AddressLost);
}

TEST_F(AddressChangeTest, InactiveManagedInterfaceUsesTheProfileBoundToIt) {
  runner.installed.insert("nmcli");
  runner.answers["nmcli -g GENERAL.STATE device show eth1"] = "30 (disconnected)\n";
  runner.answers["nmcli -g GENERAL.CON-UUID device show eth1"] = "\n";
  runner.answers["nmcli -g UUID connection show"] = "aaa\nbbb\n";
  runner.answers["nmcli -g connection.interface-name connection show aaa"] = "wlan0\n";
  runner.answers["nmcli -g connection.interface-name connection show bbb"] = "eth1\n";
  EXPECT_EQ(Apply(LanStatic, "eth1").status, AddressChanged);
  EXPECT_EQ(runner.ran.back(), "nmcli connection up bbb");

  runner.answers.erase("nmcli -g connection.interface-name connection show bbb");
  AddressChangeResult result = Apply(LanStatic, "eth1");
  EXPECT_EQ(result.status, AddressUnchanged);
  EXPECT_TRUE(Has(result.message, "no connection profile"));
}

TEST_F(AddressChangeTest, UnmanagedInterfacesGoThroughIp) {
  runner.installed.insert("nmcli");
  runner.answers["nmcli -g GENERAL.STATE device show eth0"] = "10 (unmanaged)\n";
  EXPECT_EQ(Apply(LanStatic).status, AddressChanged);
  EXPECT_EQ(runner.addresses, (std::map<std::string, bool>{{"192.168.10.2/24", false}}));
}

// The interface's IPv4 addresses, "a.b.c.d/n" each, from ip's listing.
std::vector<std::string> Cidrs(const std::string& listing) {
  std::vector<std::string> cidrs;
  std::istringstream words(listing);
  for (std::string word, last; words >> word; last = word)
    if (last == "inet") cidrs.push_back(word);
  return cidrs;
}

// Runs ip and sysctl inside the namespace and records every command; `failIpCall` makes that ip call (in
// the order they come, from 0) fail without running, and with `ipStaysDown` every one after it. It
// answers for the services' programs (networkctl, nmcli) without running them, and a DHCP server's lease
// comes with "dhclient -1".
class NamespaceRunner : public CommandRunner {
 public:
  explicit NamespaceRunner(std::string ns) : ns_(std::move(ns)) {}
  int Run(const CommandLine& argv, std::string* output) override {
    ran.push_back(Joined(argv));
    if (argv[0] == "ip") {
      const int call = ipCalls++;
      if (call == failIpCall || (ipStaysDown && call > failIpCall)) return 1;
    }
    if (argv[0] == "dhclient" && argv[1] == "-1")
      return InNamespace({"ip", "address", "add", lease, "dev", "tva", "valid_lft", "600", "preferred_lft", "600"},
                         nullptr);
    return argv[0] == "ip" || argv[0] == "sysctl" ? InNamespace(argv, output) : 0;
  }
  bool Installed(const std::string&) override { return true; }
  void Pause(int) override {}

  std::vector<std::string> ran;
  int ipCalls = 0;
  int failIpCall = -1;
  bool ipStaysDown = false;  // every later ip call fails as well
  std::string lease = "192.168.1.7/24";

 private:
  int InNamespace(const CommandLine& argv, std::string* output) {
    std::string line = "ip netns exec " + ns_;
    for (const std::string& word : argv) line += " " + Quote(word);
    return RunCommand(line + " 2>/dev/null", output);
  }

  std::string ns_;
};

// An access list of the owner, one more user (1234, read), the group, the mask and others, as Linux keeps it.
std::string SampleAccessList() {
  const std::uint16_t entries[][4] = {{0x01, 06, 0xffff, 0xffff},
                                      {0x02, 04, 1234, 0},
                                      {0x04, 04, 0xffff, 0xffff},
                                      {0x10, 04, 0xffff, 0xffff},
                                      {0x20, 00, 0xffff, 0xffff}};
  std::string list("\x02\0\0\0", 4);
  for (const auto& e : entries) list.append(reinterpret_cast<const char*>(e), sizeof e);
  return list;
}

std::string AccessList(const std::string& path) {
  char list[256];
  const ssize_t size = getxattr(path.c_str(), "system.posix_acl_access", list, sizeof list);
  return size < 0 ? "" : std::string(list, static_cast<std::size_t>(size));
}

// A shell script standing in for the elevation runner; its path.
std::string Runner(const ScratchTree& tree, const std::string& body) {
  tree.Write("runner", "#!/bin/sh\n" + body);
  chmod(tree.Path("runner").c_str(), 0700);
  return tree.Path("runner");
}

mode_t Mode(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The helper started as the dialog's elevated step starts it, from a caller whose umask is 0.
class AddressHelperTest : public NetNamespaceTest {
 protected:
  // Runs the helper program in the namespace and keeps what it sent to the system's log; with a
  // configuration root, it keeps the change there.
  int Helper(const std::string& parameters, const std::string& configRoot = "") {
    const std::string line = (configRoot.empty() ? "" : "TAVIK_SETIP_CONFIG_ROOT=" + Quote(configRoot) + " ") +
                             In(::Helper + " " + Quote(parameters));
    logged = CaptureSystemLog([&] { return RunCommand(line); });
    return logged.status;
  }
  LinuxInterface Tva() const {
    return {"tva", "", static_cast<unsigned>(std::atoi(CommandOutput("ip -n " + ns_ + " -o link show tva").c_str()))};
  }
  void SetOldAddress() {
    ASSERT_TRUE(RunQuietly(In("ip address flush dev tva")) && RunQuietly(In("ip address add 10.9.9.9/8 dev tva")));
  }

  CapturedLog logged;

 private:
  struct CallerUmask {  // 0 from before the namespace is made until after it is gone
    const mode_t old = umask(0);
    ~CallerUmask() { umask(old); }
  } callerUmask_;
};

TEST_F(AddressHelperTest, SetsAStaticAddressOnTheNamedAdapter) {
  SetOldAddress();
  EXPECT_EQ(Helper(StaticText), 0);
  std::string addresses = Addresses();
  EXPECT_TRUE(Has(addresses, "inet 192.168.10.1/24 brd 192.168.10.255")) << addresses;
  EXPECT_FALSE(Has(addresses, "10.9.9.9")) << addresses;  // replaced, as the network shell does
  EXPECT_TRUE(logged.Has("tavik-setip", "tva now has 192.168.10.1/24")) << logged.lines.size();

  EXPECT_EQ(Helper(StaticOn("Local Area Connection", "192.168.20.2")), 0);
  EXPECT_TRUE(Has(Addresses(), "inet 192.168.20.2/24") && !Has(Addresses(), "192.168.10.1")) << Addresses();

  // The new address of the same subnet is added beside the old one, which must go without taking it along.
  EXPECT_EQ(Helper(StaticOn("Local Area Connection", "192.168.20.1")), 0);
  EXPECT_EQ(Cidrs(Addresses()), std::vector<std::string>{"192.168.20.1/24"}) << Addresses();
}

// Only what the dialog asks for, on an adapter it offers; each refusal says why, in the log as well.
TEST_F(AddressHelperTest, RefusesWhatTheDialogWouldNeverAsk) {
  ASSERT_TRUE(RunQuietly(In("ip address add 192.168.10.1/24 dev tva")));
  ASSERT_TRUE(RunQuietly(In("ip link set tvb alias 'Wi-Fi tvb'")));
  // The parser's own checks are above; these stand for them through the whole program, on real adapters:
  // a device name where the dialog lists a label, the loopback, a wireless one, a host it never sets.
  const std::string unlisted = "no network adapter that the IP set-up dialog lists";
  const std::pair<std::string, std::string> refused[] = {
      {StaticOn("Local Area Network", "192.168.10.2"), unlisted},
      {StaticOn("Local Area Connection", "192.168.10.3"), "192.168.N.1"},
      {"interface ip set address name=\"Local Area Connection\" static 172.16.5.9 255.255.0.0 ", "mask"},
      {StaticOn("Wi-Fi tvb", "192.168.10.2"), "not a wired adapter"},
      {StaticOn("tva", "192.168.10.2"), unlisted},
      {"interface ip set address \"lo\" dhcp", unlisted},
  };

  for (const auto& [parameters, why] : refused) {
    EXPECT_EQ(Helper(parameters), AddressBadParameters) << parameters;
    EXPECT_TRUE(logged.Has("tavik-setip", why)) << parameters;
    EXPECT_TRUE(logged.Has("tavik-setip", "nothing was changed")) << parameters;
  }
  EXPECT_EQ(Cidrs(Addresses()), std::vector<std::string>{"192.168.10.1/24"});  // untouched
}

// Each ip call of a change fails in turn, alone or with every later one (the put-back's too): the change
// ends with exactly the new address, or with exactly the old one, or says that the old one could not be
// put back. Never both, nor a success that ip does not show.
TEST_F(AddressHelperTest, EveryFailingIpCallEndsInOneAddressOrSaysSo) {
  NamespaceRunner runner(ns_);
  for (const auto& [text, newCidr] : {std::pair<std::string, std::string>{StaticText, "192.168.10.1/24"},
                                      {"interface ip set address \"tva\" dhcp", runner.lease}}) {
    for (bool staysDown : {false, true}) {
      int failed = 0;
      for (;; ++failed) {
        SetOldAddress();
        runner.ipCalls = 0;
        runner.failIpCall = failed;
        runner.ipStaysDown = staysDown;
        AddressChangeResult result = ApplyAddressCommand(Static(text), Tva(), runner, "");
        if (runner.ipCalls <= failed) break;  // every call has failed once
        const std::vector<std::string> now = Cidrs(Addresses());
        const std::string seen = text + ", ip call " + std::to_string(failed) + (staysDown ? " and later ones" : "") +
                                 " failing: " + result.message;
        if (result.status == AddressChanged || result.status == AddressNotKept) {
          EXPECT_EQ(now, std::vector<std::string>{newCidr}) << seen;
        } else if (result.status == AddressUnchanged || result.status == AddressRestored) {
          EXPECT_EQ(now, std::vector<std::string>{"10.9.9.9/8"}) << seen;
          EXPECT_TRUE(Has(result.message, "10.9.9.9/8") || Has(result.message, "nothing was changed")) << seen;
        } else {
          EXPECT_EQ(result.status, AddressLost) << seen;
          EXPECT_TRUE(Has(result.message, "could not be put back") || Has(result.message, "may not be back")) << seen;
        }
      }
      EXPECT_GE(failed, 5) << text;
    }
  }
}

TEST_F(AddressHelperTest, IfupdownKeepsTheChangeInAStanzaOfItsOwn) {
  ScratchTree root("tavik-etc");
  root.Write("etc/network/interfaces",
             "source /etc/network/interfaces.d/*\n\nauto tva\niface tva inet static\n    address 10.9.9.9/8\n"
             "# the peer\niface tva inet6 auto\n");
  root.Write("run/network/ifstate.tva", "tva\n");
  chmod(root.Path("etc/network/interfaces").c_str(), 0600);  // it may hold a Wi-Fi passphrase
  ASSERT_TRUE(RunQuietly(In("ip address add 10.9.9.9/8 dev tva")));
  NamespaceRunner runner(ns_);
  AddressChangeResult result = ApplyAddressCommand(Static(StaticOn("tva", "192.168.10.1")), Tva(), runner, root.Root());
  EXPECT_EQ(result.status, AddressChanged) << result.message;
  EXPECT_EQ(result.message, "tva now has 192.168.10.1/24; ifupdown keeps it for the next start");
  EXPECT_EQ(Mode(root.Path("etc/network/interfaces")), 0600u);
  EXPECT_EQ(Mode(root.Path("etc/network/interfaces.d")), 0755u) << "whatever the caller's umask (0 here)";
  EXPECT_EQ(ReadWholeFile(root.Path("etc/network/interfaces")),
            "source /etc/network/interfaces.d/*\n\nauto tva\n#tavik-setip# iface tva inet static\n"
            "#tavik-setip#     address 10.9.9.9/8\n# the peer\niface tva inet6 auto\n");
  const std::string own = ReadWholeFile(root.Path("etc/network/interfaces.d/tavik-tva"));
  EXPECT_TRUE(Has(own, "\niface tva inet static\n    address 192.168.10.1/24\n")) << own;
  EXPECT_FALSE(Has(own, "allow-hotplug")) << "auto tva is kept where it was";
  EXPECT_TRUE(!Has(Addresses(), "10.9.9.9") && Has(Addresses(), "inet 192.168.10.1/24")) << Addresses();
}

// The helper program itself, started with umask 0, keeping the change for ifupdown: the folder and file
// it makes are 0755 and 0644, the file it rewrites keeps its mode, owner, group and access list. A link
// among the files is refused, and what was changed before it is put back.
TEST_F(AddressHelperTest, RewrittenFilesKeepTheirRightsAndLinksAreNotFollowed) {
  ScratchTree root("tavik-etc");
  const std::string interfaces = root.Path("etc/network/interfaces");
  const std::string stanza = "source /etc/network/interfaces.d/*\niface tva inet static\n    address 10.9.9.9/8\n";
  root.Write("etc/network/interfaces", stanza);
  root.Write("run/network/ifstate.tva", "tva\n");
  ASSERT_EQ(chmod(interfaces.c_str(), 0640) | chown(interfaces.c_str(), 1234, 5678), 0);
  const std::string list = SampleAccessList();
  ASSERT_EQ(setxattr(interfaces.c_str(), "system.posix_acl_access", list.data(), list.size(), 0), 0);
  const mode_t withList = Mode(interfaces);  // the list's mask stands in the group bits
  SetOldAddress();
  EXPECT_EQ(Helper(StaticText, root.Root()), 0);
  EXPECT_TRUE(logged.Has("tavik-setip", "ifupdown keeps it")) << root.Root();
  struct stat st;
  ASSERT_EQ(stat(interfaces.c_str(), &st), 0);
  EXPECT_EQ(std::make_tuple(st.st_mode & 07777, st.st_uid, st.st_gid), std::make_tuple(withList, 1234u, 5678u));
  EXPECT_EQ(AccessList(interfaces), list);
  EXPECT_TRUE(Has(ReadWholeFile(interfaces), "#tavik-setip# iface tva inet static"));
  EXPECT_EQ(std::make_tuple(Mode(root.Path("etc/network/interfaces.d")),
                            Mode(root.Path("etc/network/interfaces.d/tavik-tva"))),
            std::make_tuple(0755u, 0644u));

  root.Write("etc/network/interfaces", stanza);
  root.Write("elsewhere", "iface tva inet dhcp\n");
  root.Link("etc/network/interfaces.d/admin", root.Path("elsewhere"));
  root.Remove("etc/network/interfaces.d/tavik-tva");
  EXPECT_EQ(Helper(StaticOn("Local Area Connection", "192.168.10.2"), root.Root()), AddressNotKept);
  EXPECT_TRUE(logged.Has("tavik-setip", "/etc/network/interfaces.d/admin is a symbolic link")) << logged.lines.size();
  EXPECT_EQ(ReadWholeFile(root.Path("elsewhere")), "iface tva inet dhcp\n");
  EXPECT_EQ(ReadWholeFile(interfaces), stanza) << "put back as it was";
  EXPECT_FALSE(std::filesystem::exists(root.Path("etc/network/interfaces.d/tavik-tva")));
  EXPECT_EQ(Cidrs(Addresses()), std::vector<std::string>{"192.168.10.2/24"}) << "in effect all the same";
}

TEST_F(AddressHelperTest, NetworkdTakesAFileThatComesFirstOrTheChangeIsNotKept) {
  ScratchTree root("tavik-etc");
  const std::string state = "run/systemd/netif/links/" + std::to_string(Tva().index);
  root.Write(state,
             "# This is private data. Do not parse.\nADMIN_STATE=configured\n"
             "NETWORK_FILE=/usr/lib/systemd/network/80-wired.network\n");
  NamespaceRunner runner(ns_);
  AddressChangeResult result = ApplyAddressCommand(Static(StaticOn("tva", "192.168.10.1")), Tva(), runner, root.Root());
  EXPECT_EQ(result.status, AddressChanged) << result.message;
  EXPECT_TRUE(Has(ReadWholeFile(root.Path("etc/systemd/network/00-tavik-tva.network")),
                  "[Match]\nName=tva\n\n[Network]\nAddress=192.168.10.1/24\n"));
  EXPECT_NE(std::find(runner.ran.begin(), runner.ran.end(), "networkctl reload"), runner.ran.end());

  root.Write(state, "ADMIN_STATE=configured\nNETWORK_FILE=/etc/systemd/network/00-admin.network\n");
  result = ApplyAddressCommand(Static(StaticOn("tva", "192.168.10.2")), Tva(), runner, root.Root());
  EXPECT_EQ(result.status, AddressNotKept) << result.message;
  EXPECT_TRUE(Has(result.message, "from /etc/systemd/network/00-admin.network, which comes before"));
  EXPECT_TRUE(Has(Addresses(), "inet 192.168.10.2/24")) << "in effect all the same";
}

TEST_F(AddressHelperTest, NetworkShellRunsTheHelperThroughTheElevationStandIn) {
  ScratchTree tree("tavik_runner");
  const std::string record = tree.Path("runner.args"), part = record + ".part";
  const std::string runner =
      Runner(tree, "printf '%s\\n' \"$@\" > " + part + "\nip netns exec " + ns_ + " \"$@\"\nmv " + part + " " + record);
  setenv("TAVIK_ELEVATION_RUNNER", runner.c_str(), 1);
  const std::string parameters = StaticOn("Local Area Connection", "192.168.30.1");
  RunNetworkShell(parameters);
  unsetenv("TAVIK_ELEVATION_RUNNER");
  Eventually([&] { return access(record.c_str(), F_OK) == 0; }, 5);
  EXPECT_EQ(ReadWholeFile(record).rfind(::Helper + "\n" + parameters + "\n", 0), 0u) << "the helper, then the text";
  EXPECT_TRUE(Has(Addresses(), "inet 192.168.30.1/24"));
}

// What the dialog cannot show reaches the system's log under the program's own name: no trusted helper,
// the password not given at pkexec's prompt, the helper's refusal (which the helper logs as well).
TEST_F(AddressHelperTest, NetworkShellLogsWhatTheDialogCannotShow) {
  ScratchTree tree("tavik_runner");
  const std::string program = "netsetup_tests";
  auto run = [](const std::string& parameters, std::size_t reports) {
    return CaptureSystemLog(
        [&]() -> int {
          RunNetworkShell(parameters);
          for (;;) pause();  // until the reports have come
        },
        reports);
  };
  CapturedLog log = run(StaticText, 1);
  EXPECT_TRUE(log.Has(program, "tavik-setip must be installed in")) << log.lines.size();

  setenv("TAVIK_ELEVATION_RUNNER", Runner(tree, "exit 126\n").c_str(), 1);
  log = run(StaticText, 1);
  EXPECT_TRUE(log.Has(program, "the administrator's password was not given")) << log.lines.size();

  Runner(tree, "exec ip netns exec " + ns_ + " \"$@\"\n");
  log = run(StaticOn("Local Area Network", "192.168.10.2"), 2);
  unsetenv("TAVIK_ELEVATION_RUNNER");
  EXPECT_TRUE(log.Has(program, "tavik-setip refused the request (status 1)"));
  EXPECT_TRUE(log.Has("tavik-setip", "no network adapter that the IP set-up dialog lists is named"));
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

}  // namespace
