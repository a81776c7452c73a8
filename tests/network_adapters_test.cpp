// The adapter listing: the name filters and labels of the table, the interfaces of a sysfs tree, and a
// real listing inside a network namespace.
#include "netsetup/network_adapters.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <cstring>
#include <tuple>

#include "netns_fixture.h"
#include "read_file.h"
#include "scratch_tree.h"
#include "test_environment.h"
#include "netsetup/network_interfaces_linux.h"

namespace {

// An entry's label, index, state and flags, to compare in one go.
using Entry = std::tuple<std::string, std::uint32_t, int, int, int>;
Entry Shown(const char* label, std::uint32_t index, int state, int wired = 0, int connected = 0) {
  return {label, index, state, wired, connected};
}
Entry Shown(const NetworkAdapterEntry& e) { return Shown(e.label, e.interfaceIndex, e.state, e.wired, e.connected); }

}  // namespace

TEST(AdapterNameTest, FiltersKeepWiredAndWirelessAdaptersOnly) {
  struct Case {
    const char* name;
    bool listed, wired;
  } cases[] = {
      {"Local Area Connection", true, true},
      {"Local Area Connection* 3", false, true},
      {"Ethernet-2", false, true},
      {"Ethernet", true, true},
      {"Ethernet enp3s0", true, true},
      {"Wireless Network Connection", true, false},
      {"Wi-Fi", true, false},
      {"Wi-Fi-Direct", false, false},
      {"Wi-Fi wlan0", true, false},
      {"Wireless*", false, false},
      {"Bluetooth Network Connection", false, false},
      {"lo", false, false},
  };
  for (const Case& c : cases) {
    bool wired = !c.wired;
    EXPECT_EQ(IsListedAdapterName(c.name, &wired), c.listed) << c.name;
    EXPECT_EQ(wired, c.wired) << c.name;
  }
}

TEST(AdapterTableTest, ListsFilteredAdaptersWithTheirLabels) {
  const std::vector<AdapterRecord> adapters = {{"Local Area Connection", 4},
                                               {"Local Area Connection* 3", 5},
                                               {"Ethernet-2", 6},
                                               {"Wireless Network Connection", 7},
                                               {"Wi-Fi", 8},
                                               {"Wi-Fi-Direct", 9},
                                               {"Loopback", 1}};
  const std::vector<AddressRecord> rows = {
      {1, {127, 0, 0, 1}}, {4, {10, 0, 0, 9}}, {4, {192, 168, 10, 1}}, {7, {169, 254, 3, 4}, true}, {5, {1, 2, 3, 4}}};
  NetworkAdapterEntry table[NetworkAdapterCount];
  FillNetworkAdapterTable(adapters, rows, table);
  EXPECT_STREQ(table[0].name, "Local Area Connection");
  // The later row of an adapter wins.
  EXPECT_EQ(Shown(table[0]), Shown("Local Area Connection (192.168.10.1) OK", 4, AdapterWithAddress, 1, 1));
  EXPECT_EQ(Shown(table[1]), Shown("Wireless Network Connection (169.254.3.4) disconnected", 7, AdapterWithAddress));
  EXPECT_EQ(Shown(table[2]), Shown("Wi-Fi () disconnected", 8, AdapterWithoutAddress));
  EXPECT_STREQ(table[2].address, "");
  EXPECT_EQ(Shown(table[3]), Shown("", 0, AdapterNone));
}

TEST(AdapterTableTest, KeepsSixteenAdaptersAndClearsTheRest) {
  std::vector<AdapterRecord> adapters;
  for (std::uint32_t i = 1; i <= 20; ++i) adapters.push_back({"Ethernet " + std::to_string(i), i});
  const std::vector<AddressRecord> rows = {{7, {192, 168, 10, 7}}, {17, {192, 168, 10, 17}}};
  NetworkAdapterEntry table[NetworkAdapterCount];
  std::memset(table, 0x5a, sizeof table);
  FillNetworkAdapterTable(adapters, rows, table);
  EXPECT_STREQ(table[6].label, "Ethernet 7 (192.168.10.7) OK");  // the seventh stays in the table
  EXPECT_STREQ(table[15].name, "Ethernet 16");
  EXPECT_EQ(table[15].state, AdapterWithoutAddress);

  FillNetworkAdapterTable({{"Ethernet", 3}}, {}, table);
  EXPECT_EQ(table[1].interfaceIndex, 0u);
  EXPECT_STREQ(table[1].name, "");
}

TEST(AdapterTableTest, LongNamesAreCutToFit) {
  std::string name = "Ethernet " + std::string(400, 'x');
  NetworkAdapterEntry table[NetworkAdapterCount];
  FillNetworkAdapterTable({{name, 2}}, {{2, {192, 168, 10, 2}}}, table);
  EXPECT_EQ(std::strlen(table[0].name), sizeof table[0].name - 1);
  EXPECT_EQ(std::string(table[0].label), std::string(table[0].name) + " (192.168.10.2) OK");
}

class SysfsTreeTest : public ::testing::Test {
 protected:
  void SetUp() override { tree_.Dir("class/net"); }
  // One interface folder; `physical` gives it a device link, `extra` adds files ("name=value").
  void Interface(const std::string& device, int index, const std::string& operstate, bool physical,
                 std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"ifindex=" + std::to_string(index), "operstate=" + operstate,
                                 device == "lo" ? "type=772" : "type=1", "ifalias="});
    if (physical) tree_.Dir("class/net/" + device + "/device");
    for (const std::string& item : extra) {
      const std::size_t eq = item.find('=');
      tree_.Write("class/net/" + device + "/" + item.substr(0, eq), item.substr(eq + 1) + "\n");
    }
  }

  ScratchTree tree_{"tavik_sysfs"};
  const std::string net_ = tree_.Path("class/net");
};

TEST_F(SysfsTreeTest, NamesInterfacesAsTheAdapterListExpects) {
  Interface("lo", 1, "unknown", false, {"carrier=1"});
  Interface("eth0", 2, "up", true, {"ifalias=Local Area Connection"});
  Interface("enp3s0", 3, "down", true);
  Interface("wlan0", 5, "dormant", true, {"phy80211=x"});
  Interface("wlp2s0", 4, "up", true, {"uevent=INTERFACE=wlp2s0\nDEVTYPE=wlan"});
  Interface("br0", 6, "up", true, {"uevent=DEVTYPE=bridge"});
  Interface("veth1", 7, "unknown", false, {"carrier=1"});
  std::vector<LinuxInterface> found;
  ASSERT_TRUE(ReadLinuxInterfaces(net_, found));
  ASSERT_EQ(found.size(), 7u);
  const char* names[] = {"lo",   "Local Area Connection", "Ethernet enp3s0", "Wi-Fi wlp2s0", "Wi-Fi wlan0", "br0",
                         "veth1"};
  bool connected[] = {true, true, false, true, false, true, true};
  for (std::size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].friendlyName, names[i]);
    EXPECT_EQ(found[i].loopback, i == 0);
    EXPECT_EQ(found[i].index, i + 1);
    EXPECT_EQ(found[i].connected, connected[i]) << names[i];
  }
}

TEST_F(SysfsTreeTest, AddressesBelongToTheirInterfaceAndItsLinkState) {
  Interface("eth0", 2, "up", true);
  Interface("eth1", 3, "down", true);
  std::vector<LinuxInterface> interfaces;
  ASSERT_TRUE(ReadLinuxInterfaces(net_, interfaces));
  const std::vector<AddressRecord> rows = AddressRecordsFor(interfaces, {{"eth1", {10}}, {"eth0", {192}}, {"gone0"}});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].interfaceIndex, 3u);
  EXPECT_TRUE(rows[0].disconnected);
  EXPECT_EQ(rows[1].interfaceIndex, 2u);
  EXPECT_EQ(rows[1].address[0], 192);
  EXPECT_FALSE(rows[1].disconnected);
}

TEST_F(SysfsTreeTest, ListingFailsWithoutTheInterfaceFolder) {
  const ScopedEnv sysfs("TAVIK_SYSFS", tree_.Path("absent"));
  EXPECT_EQ(ListNetworkAdapters(), nullptr);
}

class NamespaceListingTest : public NetNamespaceTest {
 protected:
  // Lists the adapters from a child process that has entered the namespace and mounted its own sysfs over
  // the scratch folder, in a mount namespace of its own so that here the folder stays empty; returns the
  // labels, one per line.
  std::string ListInNamespace() {
    const pid_t child = fork();
    if (child == 0) _exit(ListFromChild());
    int status = 0;
    waitpid(child, &status, 0);
    const std::string labels = ReadWholeFile(mountPoint_.Path("labels"));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? labels : "child failed: " + labels;
  }

  int ListFromChild() {
    const std::string& sysfs = mountPoint_.Root();
    const int nsFd = open(("/run/netns/" + ns_).c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0 || unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        setns(nsFd, CLONE_NEWNET) != 0 || mount("sysfs", sysfs.c_str(), "sysfs", 0, nullptr) != 0)
      return 1;
    setenv("TAVIK_SYSFS", sysfs.c_str(), 1);
    std::string labels;
    if (const NetworkAdapterEntry* table = ListNetworkAdapters()) {
      for (int i = 0; i < NetworkAdapterCount && table[i].state != AdapterNone; ++i)
        labels += std::string(table[i].label) + (table[i].wired ? " [wired]\n" : "\n");
    }
    if (umount(sysfs.c_str()) != 0) return 1;
    mountPoint_.Write("labels", labels);
    return 0;
  }

  ScratchTree mountPoint_{"tavik_nssys"};
};

TEST_F(NamespaceListingTest, ListsTheAliasedInterfaceWithItsAddress) {
  EXPECT_EQ(ListInNamespace(), "Local Area Connection () disconnected [wired]\n");
  ASSERT_TRUE(RunQuietly(In("ip address add 192.168.10.1/24 dev tva")));
  EXPECT_EQ(ListInNamespace(), "Local Area Connection (192.168.10.1) OK [wired]\n");
  ASSERT_TRUE(RunQuietly(In("ip link set tvb down")));
  EXPECT_EQ(ListInNamespace(), "Local Area Connection (192.168.10.1) disconnected [wired]\n");
}
