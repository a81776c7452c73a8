// The management queries over the sysfs/procfs inventory: a query lists its objects once when it opens,
// and the reads step through that list as WMI's enumerator would.
#include "sysutil/wmi_query.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "sysfs_inventory_linux.h"

namespace {

// The one query of the process.
struct WmiQuery {
  bool open = false;
  bool hasResultSet = false;
  std::vector<InventoryObject> results;
  std::size_t cursor = 0;                    // index of the next object a step yields
  const InventoryObject* current = nullptr;  // the object the last step reached
  char queryText[300] = "";
};

WmiQuery query;

void CopyText(const std::string& text, char* buffer, std::size_t size) {
  if (size == 0) return;
  const std::size_t length = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

// One step of the enumerator: false when no object is left.
bool Step() {
  query.current = query.cursor < query.results.size() ? &query.results[query.cursor++] : nullptr;
  return query.current != nullptr;
}

bool ReadValue(const char* property, char* buffer, std::size_t size) {
  auto found = query.current->find(property);
  if (found == query.current->end()) return false;
  CopyText(found->second, buffer, size);
  return true;
}

}  // namespace

int WmiOpenQuery(const char* className) {
  WmiClose();
  std::snprintf(query.queryText, sizeof query.queryText, "SELECT * from %s", className ? className : "");
  std::vector<InventoryObject> results;
  if (!className || !ListInventoryObjects(className, results)) return 6;
  query.results = std::move(results);
  query.hasResultSet = true;
  query.cursor = 0;
  query.current = nullptr;
  query.open = true;
  return 0;
}

int WmiReadProperty(const char* property, int index, char* buffer, std::size_t bufferSize) {
  if (!query.open) return 1;
  if (!query.hasResultSet) return 12;
  if (index < 0) return -1;
  query.cursor = 0;
  for (int i = 0; i <= index; ++i)
    if (!Step()) return -1;
  if (!query.current) return 11;
  return ReadValue(property, buffer, bufferSize) ? 0 : 10;
}

int WmiNextDevice(char* deviceId, std::size_t deviceIdSize, char* name, std::size_t nameSize) {
  if (!query.open) return 1;
  if (!query.hasResultSet || !Step()) return -1;
  if (!ReadValue("DeviceID", deviceId, deviceIdSize)) return 10;
  return ReadValue("Name", name, nameSize) ? 0 : 10;
}

void WmiClose() {
  if (!query.open) return;
  query = WmiQuery();
}
