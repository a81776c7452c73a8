// This computer's network as the system reports it: the host address line from its own name and resolver
// (the socket library left as the caller had it), and the adapter list and IPv4 address table through the
// IP helper library with the adapter table built from them: loopback at least, read without loss.
#include "adapter_source.h"
#include "host_network.h"
#include "windows_test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace {

bool InAddressTable(const std::vector<AddressRecord>& rows, const std::uint8_t (&address)[4]) {
  return std::any_of(rows.begin(), rows.end(),
                     [&](const AddressRecord& row) { return std::memcmp(row.address, address, sizeof address) == 0; });
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
  std::vector<AddressRecord> rows;
  ASSERT_TRUE(ReadAddressRecords(rows));
  const std::uint8_t dotted[4] = {std::uint8_t(a), std::uint8_t(b), std::uint8_t(c), std::uint8_t(d)};
  EXPECT_TRUE(InAddressTable(rows, dotted) || a == 127)
      << address << " is neither an address of this computer nor loopback";
  RecordProperty("address_line", line);
}

TEST(HostNetworkWin32, SocketLibraryIsLeftAsTheCallerHadIt) {
  ASSERT_EQ(SocketOpenError(), WSANOTINITIALISED) << "nothing in this test program keeps the sockets started";
  GetHostAddressLine();
  EXPECT_EQ(SocketOpenError(), WSANOTINITIALISED) << "the line stops what it started";
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 0), &data), 0);
  GetHostAddressLine();
  EXPECT_NE(SocketOpenError(), WSANOTINITIALISED) << "a program that keeps sockets started for its run keeps them";
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

TEST(AdapterSourceWin32, AdaptersAndAddressRowsAreReadAndFitTogether) {
  std::vector<AdapterRecord> adapters;
  ASSERT_TRUE(ReadAdapterRecords(adapters));
  ASSERT_FALSE(adapters.empty()) << "the loopback adapter at least";
  std::set<std::uint32_t> indexes;
  std::string names;
  for (const AdapterRecord& adapter : adapters) {
    EXPECT_NE(adapter.interfaceIndex, 0u) << adapter.friendlyName;
    EXPECT_FALSE(adapter.friendlyName.empty());
    indexes.insert(adapter.interfaceIndex);
    names += "[" + adapter.friendlyName + "]";
  }
  RecordProperty("adapters", names);
  std::vector<AddressRecord> rows;
  ASSERT_TRUE(ReadAddressRecords(rows));
  const std::uint8_t loopback[4] = {127, 0, 0, 1};
  EXPECT_TRUE(InAddressTable(rows, loopback)) << "127.0.0.1 is in the address table";
  for (const AddressRecord& row : rows)
    if (std::memcmp(row.address, loopback, sizeof loopback) == 0) {
      EXPECT_EQ(indexes.count(row.interfaceIndex), 1u) << "the loopback row belongs to a listed adapter";
    }
}

TEST(AdapterSourceWin32, ListingHoldsOnlyFilteredAdaptersWithOrderlyLabels) {
  std::vector<AdapterRecord> adapters;
  ASSERT_TRUE(ReadAdapterRecords(adapters));
  const NetworkAdapterEntry* table = ListNetworkAdapters();
  ASSERT_EQ(table, LastNetworkAdapterTable());
  int listed = 0;
  bool wired = false;
  for (const AdapterRecord& adapter : adapters)
    if (IsListedAdapterName(adapter.friendlyName.c_str(), &wired) && listed < NetworkAdapterCount) ++listed;
  for (int i = 0; i < NetworkAdapterCount; ++i) {
    const NetworkAdapterEntry& entry = table[i];
    SCOPED_TRACE(i);
    if (i >= listed) {
      EXPECT_EQ(entry.state, AdapterNone);
      EXPECT_EQ(entry.interfaceIndex, 0u);
      continue;
    }
    EXPECT_NE(entry.state, AdapterNone);
    EXPECT_EQ(std::string(entry.label),
              std::string(entry.name) + " (" + entry.address + ") " + (entry.connected ? "OK" : "disconnected"));
    EXPECT_EQ(entry.state == AdapterWithAddress, entry.address[0] != '\0');
  }
}

}  // namespace
