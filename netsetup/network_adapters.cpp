// The adapter listing: the name filters, the address rows and the labels of NetworkAdapterTable.
#include "netsetup/network_adapters.h"

#include <cstdio>
#include <cstring>

#include "adapter_source.h"

namespace {

NetworkAdapterEntry NetworkAdapterTable[NetworkAdapterCount];

// The friendly name as the 8-bit text the table holds (the system's conversion stops at 300).
constexpr std::size_t ConvertedNameLimit = 300;

bool StartsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

void CopyText(char* to, std::size_t size, const char* from) { std::snprintf(to, size, "%s", from); }

void SetLabel(NetworkAdapterEntry& entry) {
  std::snprintf(entry.label, sizeof entry.label, "%s (%s) %s", entry.name, entry.address,
                entry.connected ? "OK" : "disconnected");
}

NetworkAdapterEntry* FindEntry(NetworkAdapterEntry* table, std::uint32_t interfaceIndex) {
  for (int i = 0; i < NetworkAdapterCount && table[i].interfaceIndex != 0; ++i) {
    if (table[i].interfaceIndex == interfaceIndex) return &table[i];
  }
  return nullptr;
}

void ApplyAddressRow(NetworkAdapterEntry& entry, const AddressRecord& row) {
  entry.connected = row.disconnected ? 0 : 1;
  entry.state = AdapterWithAddress;
  std::snprintf(entry.address, sizeof entry.address, "%u.%u.%u.%u", row.address[0], row.address[1], row.address[2],
                row.address[3]);
  SetLabel(entry);
}

}  // namespace

bool IsListedAdapterName(const char* name, bool* wired) {
  if (StartsWith(name, "Loc") || StartsWith(name, "Eth")) {
    *wired = true;
    return std::strchr(name, '-') == nullptr && std::strchr(name, '*') == nullptr;
  }
  *wired = false;
  if (StartsWith(name, "Wire") || StartsWith(name, "Wi-")) {
    bool dashLater = std::strlen(name) > 4 && std::strchr(name + 4, '-') != nullptr;
    return std::strchr(name, '*') == nullptr && !dashLater;
  }
  return false;
}

void FillNetworkAdapterTable(const std::vector<AdapterRecord>& adapters, const std::vector<AddressRecord>& addresses,
                             NetworkAdapterEntry* table) {
  std::memset(table, 0, sizeof(NetworkAdapterEntry) * NetworkAdapterCount);
  int filled = 0;
  for (const AdapterRecord& adapter : adapters) {
    if (filled == NetworkAdapterCount) break;
    std::string name = adapter.friendlyName.substr(0, ConvertedNameLimit);
    bool wired = false;
    if (!IsListedAdapterName(name.c_str(), &wired)) continue;
    NetworkAdapterEntry& entry = table[filled++];
    entry.interfaceIndex = adapter.interfaceIndex;
    entry.wired = wired ? 1 : 0;
    CopyText(entry.name, sizeof entry.name, name.c_str());
  }
  for (const AddressRecord& row : addresses) {
    if (NetworkAdapterEntry* entry = FindEntry(table, row.interfaceIndex)) ApplyAddressRow(*entry, row);
  }
  for (int i = 0; i < filled; ++i) {
    if (table[i].state != AdapterNone) continue;
    table[i].state = AdapterWithoutAddress;
    SetLabel(table[i]);
  }
}

const NetworkAdapterEntry* ListNetworkAdapters() {
  std::memset(NetworkAdapterTable, 0, sizeof NetworkAdapterTable);
  std::vector<AdapterRecord> adapters;
  std::vector<AddressRecord> addresses;
  if (!ReadAdapterRecords(adapters) || !ReadAddressRecords(addresses)) return nullptr;
  FillNetworkAdapterTable(adapters, addresses, NetworkAdapterTable);
  return NetworkAdapterTable;
}

const NetworkAdapterEntry* LastNetworkAdapterTable() { return NetworkAdapterTable; }
