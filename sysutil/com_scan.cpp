// The COM port scan and the processor/memory summary of the ports report.
#include "sysutil/com_scan.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/com_device.h"
#include "sysutil/wmi_query.h"

char SystemSummary[SystemSummarySize];

namespace {

constexpr int ErrorAccessDenied = 5;
constexpr int ErrorSharingViolation = 32;

PortState ProbePort(const std::string& devicePath) {
  if (devicePath.empty()) return PortAbsent;
  const ComOpenResult result = ComDeviceOpenPath(devicePath);
  if (result.handle != ComInvalidHandle) {
    ComDeviceClose(result.handle);
    return PortFree;
  }
  if (result.error == ErrorAccessDenied || result.error == ErrorSharingViolation) return PortBusy;
  return PortAbsent;
}

bool ReadNumber(const char* property, int index, int& value) {
  char text[300];
  if (WmiReadProperty(property, index, text, sizeof text) != 0) return false;
  value = std::atoi(text);
  return true;
}

bool ReadMemoryKilobytes(int& memory) {
  if (WmiOpenQuery("CIM_OperatingSystem") != 0) return false;
  const bool ok = ReadNumber("TotalVisibleMemorySize", 0, memory);
  WmiClose();
  return ok;
}

// Cores and logical processors summed over up to 16 processors, clock and name of the first.
bool ReadProcessors(int& cores, int& processors, int& speed, char* name, std::size_t nameSize) {
  if (WmiOpenQuery("Win32_Processor") != 0) return false;
  int count = 0;
  for (int i = 0; i < 16; ++i, ++count) {
    int value;
    if (!ReadNumber("NumberOfCores", i, value)) break;
    cores += value;
    if (!ReadNumber("NumberOfLogicalProcessors", i, value)) break;
    processors += value;
  }
  const bool ok =
      count > 0 && ReadNumber("CurrentClockSpeed", 0, speed) && WmiReadProperty("Name", 0, name, nameSize) == 0;
  WmiClose();
  return ok;
}

}  // namespace

// The port devices are looked up once for the whole scan, not once for each port.
void ScanComPorts(int highest, signed char* table) {
  const std::vector<std::string> devices = ComDeviceTable();
  for (int n = 1; n <= highest; ++n) {
    table[n] = ProbePort(n <= ComPortLimit ? devices[n] : std::string());
    if (table[n] != PortAbsent) table[0] = static_cast<signed char>(n);
  }
}

bool ComPortExists(const ComPortTable& table, int n) { return n >= 1 && n <= MaxComPort && table[n] != PortAbsent; }

const char* GetSystemSummary() {
  if (SystemSummary[0] != '\0') return SystemSummary;
  int memory = 0, cores = 0, processors = 0, speed = 0;
  char name[300];
  if (!ReadMemoryKilobytes(memory) || !ReadProcessors(cores, processors, speed, name, sizeof name))
    return SystemSummary;
  char counts[80];
  std::snprintf(counts, sizeof counts, "Cores=%d,Procs=%d,Speed=%d,Mem=%d\n", cores, processors, speed, memory);
  const std::string summary = std::string(counts) + "CPU=" + name + "\n";
  std::snprintf(SystemSummary, sizeof SystemSummary, "%s", summary.c_str());
  return SystemSummary;
}
