// Reads the interfaces of /sys/class/net (or the tree under $TAVIK_SYSFS) and names them as the adapter
// listing expects.
#include "netsetup/network_interfaces_linux.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int EthernetHardwareType = 1;    // ARPHRD_ETHER
constexpr int LoopbackHardwareType = 772;  // ARPHRD_LOOPBACK

// The first line of a sysfs attribute, empty when it cannot be read.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string DeviceType(const fs::path& dir) {
  std::ifstream in(dir / "uevent");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("DEVTYPE=", 0) == 0) return line.substr(8);
  }
  return "";
}

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::string FriendlyName(const fs::path& dir, const std::string& device) {
  std::string alias = ReadAttribute(dir / "ifalias");
  if (!alias.empty()) return alias;
  std::string type = DeviceType(dir);
  if (Exists(dir / "phy80211") || type == "wlan") return "Wi-Fi " + device;
  bool physical = Exists(dir / "device");
  if (physical && type.empty() && std::atoi(ReadAttribute(dir / "type").c_str()) == EthernetHardwareType) {
    return "Ethernet " + device;
  }
  return device;
}

bool IsConnected(const fs::path& dir) {
  std::string state = ReadAttribute(dir / "operstate");
  if (state == "up") return true;
  return state == "unknown" && ReadAttribute(dir / "carrier") == "1";
}

}  // namespace

std::string NetClassDirectory() {
  const char* root = std::getenv("TAVIK_SYSFS");
  std::string base = root && *root ? root : "/sys";
  return base + "/class/net";
}

bool ReadLinuxInterfaces(const std::string& netClassDirectory, std::vector<LinuxInterface>& out) {
  out.clear();
  std::error_code ec;
  fs::directory_iterator it(netClassDirectory, ec);
  if (ec) return false;
  for (const fs::directory_entry& entry : it) {
    fs::path dir = entry.path();
    LinuxInterface item;
    item.device = dir.filename().string();
    item.index = static_cast<std::uint32_t>(std::strtoul(ReadAttribute(dir / "ifindex").c_str(), nullptr, 10));
    if (item.index == 0) continue;
    item.friendlyName = FriendlyName(dir, item.device);
    item.connected = IsConnected(dir);
    item.loopback = std::atoi(ReadAttribute(dir / "type").c_str()) == LoopbackHardwareType;
    out.push_back(item);
  }
  std::sort(out.begin(), out.end(), [](const LinuxInterface& a, const LinuxInterface& b) { return a.index < b.index; });
  return true;
}

std::vector<AddressRecord> AddressRecordsFor(const std::vector<LinuxInterface>& interfaces,
                                             const std::vector<NamedAddress>& addresses) {
  std::vector<AddressRecord> rows;
  for (const NamedAddress& named : addresses) {
    auto owner = std::find_if(interfaces.begin(), interfaces.end(),
                              [&](const LinuxInterface& i) { return i.device == named.device; });
    if (owner == interfaces.end()) continue;
    AddressRecord row;
    row.interfaceIndex = owner->index;
    std::copy(named.address, named.address + 4, row.address);
    row.disconnected = !owner->connected;
    rows.push_back(row);
  }
  return rows;
}
