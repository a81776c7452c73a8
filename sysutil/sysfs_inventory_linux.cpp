// Devices, processors and memory read from sysfs and procfs, shaped as the management classes report them.
#include "sysfs_inventory_linux.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include "platform/com_device.h"

namespace {

std::string Root(const char* variable, const char* fallback) {
  const char* root = std::getenv(variable);
  return root && *root ? root : fallback;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool ReadLine(const std::string& path, std::string& line) {
  std::ifstream file(path);
  if (!file || !std::getline(file, line)) return false;
  line = Trim(line);
  return true;
}

bool ReadLong(const std::string& path, long& value) {
  std::string line;
  if (!ReadLine(path, line) || line.empty()) return false;
  char* end;
  value = std::strtol(line.c_str(), &end, 10);
  return *end == '\0';
}

// Names ordered as people read them: "1-2" before "1-10".
bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
      char *endA, *endB;
      unsigned long x = std::strtoul(a.c_str() + i, &endA, 10), y = std::strtoul(b.c_str() + j, &endB, 10);
      if (x != y) return x < y;
      i = endA - a.c_str();
      j = endB - b.c_str();
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i, ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    closedir(dir);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The COM number of the first serial port among a USB device's interfaces, 0 when none has one.
int UsbSerialPort(const std::string& deviceDir, const std::string& deviceName) {
  for (const auto& interface : ListDirectory(deviceDir)) {
    if (!StartsWith(interface, deviceName + ":")) continue;
    const std::string interfaceDir = deviceDir + "/" + interface;
    std::vector<std::string> ttys = ListDirectory(interfaceDir + "/tty");  // modems (cdc-acm)
    for (const auto& entry : ListDirectory(interfaceDir))                  // USB serial adapters
      if (StartsWith(entry, "tty") && entry != "tty") ttys.push_back(entry);
    for (const auto& tty : ttys)
      if (int port = ComPortOfDevice("/dev/" + tty)) return port;
  }
  return 0;
}

bool ReadHexId(const std::string& path, unsigned& id) {
  std::string text;
  if (!ReadLine(path, text) || text.empty() || text.size() > 4) return false;
  char* end;
  id = static_cast<unsigned>(std::strtoul(text.c_str(), &end, 16));
  return *end == '\0';
}

bool UsbDevice(const std::string& devices, const std::string& name, InventoryObject& object) {
  const std::string dir = devices + "/" + name;
  unsigned vendor, product;
  if (!ReadHexId(dir + "/idVendor", vendor) || !ReadHexId(dir + "/idProduct", product)) return false;
  std::string serial, label;
  if (!ReadLine(dir + "/serial", serial) || serial.empty()) serial = name;
  if (!ReadLine(dir + "/product", label) || label.empty()) label = "USB Device";
  if (int port = UsbSerialPort(dir, name)) label += " (COM" + std::to_string(port) + ")";
  char id[32];
  std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X\\", vendor, product);
  object["DeviceID"] = id + serial;
  object["Name"] = label;
  return true;
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

void AddBuiltInSerialPorts(std::vector<InventoryObject>& objects) {
  const auto table = ComDeviceTable();
  for (int n = 1; n < static_cast<int>(table.size()); ++n) {
    if (table[n].empty()) continue;
    char resolved[4096];
    const std::string device = BaseName(realpath(table[n].c_str(), resolved) ? resolved : table[n]);
    if (!StartsWith(device, "ttyS")) continue;
    objects.push_back(
        {{"DeviceID", "SERIAL\\" + device}, {"Name", "Communications Port (COM" + std::to_string(n) + ")"}});
  }
}

// /proc/cpuinfo as one key -> value map per "processor" block, by processor number.
std::map<long, std::map<std::string, std::string>> ReadCpuInfo(const std::string& procfs) {
  std::map<long, std::map<std::string, std::string>> blocks;
  std::ifstream file(procfs + "/cpuinfo");
  std::map<std::string, std::string> block;
  std::string line;
  auto finish = [&] {
    if (block.count("processor")) blocks[std::strtol(block["processor"].c_str(), nullptr, 10)] = block;
    block.clear();
  };
  while (std::getline(file, line)) {
    const auto colon = line.find(':');
    if (Trim(line).empty()) finish();
    if (colon != std::string::npos) block[Trim(line.substr(0, colon))] = Trim(line.substr(colon + 1));
  }
  finish();
  return blocks;
}

struct LogicalCpu {
  long number, package, core;
};

long FieldOr(const std::map<std::string, std::string>& block, const char* key, long fallback) {
  auto found = block.find(key);
  return found == block.end() ? fallback : std::strtol(found->second.c_str(), nullptr, 10);
}

std::vector<LogicalCpu> ListLogicalCpus(const std::string& cpuDir,
                                        const std::map<long, std::map<std::string, std::string>>& cpuInfo) {
  std::vector<LogicalCpu> cpus;
  for (const auto& name : ListDirectory(cpuDir)) {
    char* end;
    if (!StartsWith(name, "cpu") || name.size() == 3 || !std::isdigit(static_cast<unsigned char>(name[3]))) continue;
    const long number = std::strtol(name.c_str() + 3, &end, 10);
    long online = 1, package = 0, core = number;
    if (*end != '\0' || (ReadLong(cpuDir + "/" + name + "/online", online) && online == 0)) continue;
    ReadLong(cpuDir + "/" + name + "/topology/physical_package_id", package);
    ReadLong(cpuDir + "/" + name + "/topology/core_id", core);
    cpus.push_back({number, std::max(package, 0L), core});
  }
  if (!cpus.empty()) return cpus;
  for (const auto& [number, block] : cpuInfo)
    cpus.push_back({number, std::max(FieldOr(block, "physical id", 0), 0L), FieldOr(block, "core id", number)});
  return cpus;
}

// The clock of one logical CPU in MHz: cpufreq's current frequency, else /proc/cpuinfo's "cpu MHz".
bool ClockSpeed(const std::string& cpuDir, long cpu, const std::map<std::string, std::string>& block, long& mhz) {
  long khz;
  if (ReadLong(cpuDir + "/cpu" + std::to_string(cpu) + "/cpufreq/scaling_cur_freq", khz) && khz > 0) {
    mhz = (khz + 500) / 1000;
    return true;
  }
  auto found = block.find("cpu MHz");
  if (found == block.end()) return false;
  mhz = std::lround(std::strtod(found->second.c_str(), nullptr));
  return true;
}

std::string ModelName(const std::map<long, std::map<std::string, std::string>>& cpuInfo, long cpu) {
  auto own = cpuInfo.find(cpu);
  if (own != cpuInfo.end() && own->second.count("model name")) return own->second.at("model name");
  for (const auto& [number, block] : cpuInfo)
    if (block.count("model name")) return block.at("model name");
  return "";
}

}  // namespace

std::vector<InventoryObject> ListPnpEntities(const std::string& sysfs) {
  std::vector<InventoryObject> objects;
  const std::string devices = sysfs + "/bus/usb/devices";
  for (const auto& name : ListDirectory(devices)) {
    InventoryObject object;
    if (name.find(':') == std::string::npos && UsbDevice(devices, name, object)) objects.push_back(object);
  }
  AddBuiltInSerialPorts(objects);
  return objects;
}

std::vector<InventoryObject> ListProcessors(const std::string& sysfs, const std::string& procfs) {
  const std::string cpuDir = sysfs + "/devices/system/cpu";
  const auto cpuInfo = ReadCpuInfo(procfs);
  std::map<long, std::vector<LogicalCpu>> packages;
  for (const auto& cpu : ListLogicalCpus(cpuDir, cpuInfo)) packages[cpu.package].push_back(cpu);
  std::vector<InventoryObject> objects;
  for (const auto& [package, cpus] : packages) {
    std::set<long> cores;
    for (const auto& cpu : cpus) cores.insert(cpu.core);
    const long first = cpus.front().number;
    InventoryObject object{{"DeviceID", "CPU" + std::to_string(objects.size())},
                           {"NumberOfCores", std::to_string(cores.size())},
                           {"NumberOfLogicalProcessors", std::to_string(cpus.size())}};
    const std::string model = ModelName(cpuInfo, first);
    if (!model.empty()) object["Name"] = model;
    long mhz;
    auto block = cpuInfo.find(first);
    if (ClockSpeed(cpuDir, first, block == cpuInfo.end() ? std::map<std::string, std::string>{} : block->second, mhz))
      object["CurrentClockSpeed"] = std::to_string(mhz);
    objects.push_back(object);
  }
  return objects;
}

std::vector<InventoryObject> ListOperatingSystems(const std::string& procfs) {
  InventoryObject object;
  std::ifstream meminfo(procfs + "/meminfo");
  std::string line;
  while (std::getline(meminfo, line)) {
    long kilobytes;
    if (std::sscanf(line.c_str(), "MemTotal: %ld kB", &kilobytes) == 1)
      object["TotalVisibleMemorySize"] = std::to_string(kilobytes);
    if (std::sscanf(line.c_str(), "MemFree: %ld kB", &kilobytes) == 1)
      object["FreePhysicalMemory"] = std::to_string(kilobytes);
  }
  std::string type, release;
  if (ReadLine(procfs + "/sys/kernel/ostype", type) && ReadLine(procfs + "/sys/kernel/osrelease", release)) {
    object["Name"] = type + " " + release;
    object["Version"] = release;
  }
  return {object};
}

bool ListInventoryObjects(const char* className, std::vector<InventoryObject>& objects) {
  const std::string sysfs = Root("TAVIK_SYSFS", "/sys"), procfs = Root("TAVIK_PROCFS", "/proc");
  if (strcasecmp(className, "Win32_PNPEntity") == 0)
    objects = ListPnpEntities(sysfs);
  else if (strcasecmp(className, "Win32_Processor") == 0)
    objects = ListProcessors(sysfs, procfs);
  else if (strcasecmp(className, "CIM_OperatingSystem") == 0 || strcasecmp(className, "Win32_OperatingSystem") == 0)
    objects = ListOperatingSystems(procfs);
  else
    return false;
  return true;
}
