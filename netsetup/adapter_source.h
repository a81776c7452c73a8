// Where the adapter listing takes its facts from: the system's adapter list and IPv4 address table.
#pragma once

#include <vector>

#include "netsetup/network_adapters.h"

// The adapters in the system's order; false when the list cannot be read.
bool ReadAdapterRecords(std::vector<AdapterRecord>& out);

// The system's IPv4 address rows; false when the table cannot be read.
bool ReadAddressRecords(std::vector<AddressRecord>& out);
