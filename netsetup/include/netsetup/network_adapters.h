// The network adapters that the IP set-up dialog offers: wired adapters to pick, wireless ones shown
// greyed, each with its IPv4 address and whether it is connected.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int NetworkAdapterCount = 16;

struct NetworkAdapterEntry {
  char name[260];                // the adapter's friendly name
  char label[300];               // "%s (%s) %s": name, address, "OK" or "disconnected"
  char address[20];              // dotted IPv4 address, empty when the adapter has none
  std::uint32_t interfaceIndex;  // 0 marks an empty entry
  std::uint8_t connected;
  std::uint8_t state;  // NetworkAdapterState
  std::uint8_t wired;
};

enum NetworkAdapterState : std::uint8_t {
  AdapterNone = 0,  // no adapter in this entry
  AdapterWithAddress = 1,
  AdapterWithoutAddress = 2,
};

// The process-wide NetworkAdapterTable, which only ListNetworkAdapters writes: it clears and refills the
// table and returns it, or nullptr when the system's lists cannot be read.
const NetworkAdapterEntry* ListNetworkAdapters();

// The table as the last listing left it (cleared when that listing failed).
const NetworkAdapterEntry* LastNetworkAdapterTable();

// One adapter as the system lists it, in the system's order.
struct AdapterRecord {
  std::string friendlyName;
  std::uint32_t interfaceIndex = 0;
};

// One row of the system's IPv4 address table.
struct AddressRecord {
  std::uint32_t interfaceIndex = 0;
  std::uint8_t address[4] = {0, 0, 0, 0};
  bool disconnected = false;
};

// Whether an adapter of this name is listed, and if so whether it counts as wired Ethernet.
bool IsListedAdapterName(const char* name, bool* wired);

// Fills `table` from the system's adapter list and address table, as ListNetworkAdapters does.
void FillNetworkAdapterTable(const std::vector<AdapterRecord>& adapters, const std::vector<AddressRecord>& addresses,
                             NetworkAdapterEntry* table);
