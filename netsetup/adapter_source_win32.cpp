// The adapter list and IPv4 address table of Windows, through the IP helper library.
#include "adapter_source.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr ULONG FirstAdapterBufferSize = 144;
constexpr ULONG FirstAddressBufferSize = 28;
constexpr std::size_t ConvertedNameLimit = 300;

std::string NarrowName(const wchar_t* wide) {
  char text[ConvertedNameLimit + 1] = {0};
  if (wcstombs(text, wide, ConvertedNameLimit) == static_cast<std::size_t>(-1)) text[0] = 0;
  return text;
}

}  // namespace

bool ReadAdapterRecords(std::vector<AdapterRecord>& out) {
  const ULONG flags = GAA_FLAG_INCLUDE_PREFIX | GAA_FLAG_INCLUDE_ALL_INTERFACES;
  ULONG size = FirstAdapterBufferSize;
  auto* list = static_cast<IP_ADAPTER_ADDRESSES*>(HeapAlloc(GetProcessHeap(), 0, size));
  if (!list) return false;
  ULONG result = GetAdaptersAddresses(AF_INET, flags, nullptr, list, &size);
  if (result == ERROR_BUFFER_OVERFLOW) {
    HeapFree(GetProcessHeap(), 0, list);
    list = static_cast<IP_ADAPTER_ADDRESSES*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (!list) return false;
    result = GetAdaptersAddresses(AF_INET, flags, nullptr, list, &size);
  }
  if (result != NO_ERROR) {
    HeapFree(GetProcessHeap(), 0, list);
    return false;
  }
  out.clear();
  for (IP_ADAPTER_ADDRESSES* adapter = list; adapter; adapter = adapter->Next) {
    out.push_back({NarrowName(adapter->FriendlyName), adapter->IfIndex});
  }
  HeapFree(GetProcessHeap(), 0, list);
  return true;
}

bool ReadAddressRecords(std::vector<AddressRecord>& out) {
  ULONG size = FirstAddressBufferSize;
  auto* table = static_cast<MIB_IPADDRTABLE*>(std::malloc(size));
  if (!table) return false;
  DWORD result = GetIpAddrTable(table, &size, FALSE);
  if (result == ERROR_INSUFFICIENT_BUFFER) {
    std::free(table);
    table = static_cast<MIB_IPADDRTABLE*>(std::malloc(size));
    if (!table) return false;
    result = GetIpAddrTable(table, &size, FALSE);
  }
  if (result != NO_ERROR) {
    std::free(table);
    return false;
  }
  out.clear();
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_IPADDRROW& row = table->table[i];
    AddressRecord record;
    record.interfaceIndex = row.dwIndex;
    in_addr address;
    address.S_un.S_addr = row.dwAddr;
    std::memcpy(record.address, &address, 4);
    record.disconnected = (row.wType & MIB_IPADDR_DISCONNECTED) != 0;
    out.push_back(record);
  }
  std::free(table);
  return true;
}
