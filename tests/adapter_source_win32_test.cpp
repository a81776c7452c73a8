// The system's adapter list and IPv4 address table through the IP helper library, and the adapter
// table built from them: whatever this computer has (loopback at least), read without loss.
#include "adapter_source.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "netsetup/network_adapters.h"

namespace {

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
  bool loopback = false;
  for (const AddressRecord& row : rows) {
    if (row.address[0] != 127 || row.address[1] != 0 || row.address[2] != 0 || row.address[3] != 1) continue;
    loopback = true;
    EXPECT_EQ(indexes.count(row.interfaceIndex), 1u) << "the loopback row belongs to a listed adapter";
  }
  EXPECT_TRUE(loopback) << "127.0.0.1 is in the address table";
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
