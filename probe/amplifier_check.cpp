// The amplifier check: one family check chosen by the device code, the other-amplifiers pass, and the
// start-up test's status file.
#include "amplifier_check.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device_settings.h"
#include "link/link.h"
#include "output_pane.h"
#include "ports_report.h"
#include "sysutil/com_scan.h"
#include "sysutil/painted_wait.h"
#include "sysutil/wmi_query.h"

PnpDeviceList pnpDevices;

namespace {

const char* const StatusFileName = "ampstatus.txt";
constexpr int ProbeRounds = 40;
constexpr auto ProbeRoundPause = std::chrono::milliseconds(250);
constexpr int ProbeBufferSize = 1600;

struct CheckFlags {
  bool found = false;
  bool unhandled = true;
};

void AddPnpDevice(const char* deviceId, const char* name) {
  auto entry = std::make_unique<PnpDeviceEntry>();
  entry->deviceId = deviceId;
  entry->name = name;
  PnpDeviceEntry* added = entry.get();
  if (pnpDevices.tail == nullptr) {
    pnpDevices.head = std::move(entry);
  } else {
    pnpDevices.tail->next = std::move(entry);
  }
  pnpDevices.tail = added;
  ++pnpDevices.count;
}

void FillPnpDeviceList() {
  int opened = WmiOpenQuery("Win32_PNPEntity");
  if (opened != 0) {
    outputPane.AppendFormat("Unable to query devices : %d\n", opened);
    return;
  }
  char deviceId[PnpTextSize];
  char name[PnpTextSize];
  int result;
  while ((result = WmiNextDevice(deviceId, sizeof deviceId, name, sizeof name)) != -1) {
    if (result > 0) {
      outputPane.AppendFormat("Error querying devices : %d\n", result);
      break;
    }
    AddPnpDevice(deviceId, name);
  }
  WmiClose();
}

// "COM%d specified is not a valid com port\n" when the configured port was not found; true when it was.
bool CheckConfiguredPort() {
  if (ComPortExists(deviceSettings.amplifierPort)) return true;
  outputPane.AppendFormat("COM%d specified is not a valid com port\n", deviceSettings.amplifierPort);
  return false;
}

// Compares the "(COMn)" of the device's name with the configured port.
void CheckActualPort(const PnpDeviceEntry& device) {
  const char* com = std::strstr(device.name.c_str(), "(COM");
  if (com == nullptr) return;
  int actual = std::atoi(com + 4);
  if (actual != 0 && actual != deviceSettings.amplifierPort)
    outputPane.AppendFormat("Actual port is COM%d and not COM%d as specified\n", actual,
                            deviceSettings.amplifierPort);
}

void CheckProSb(CheckFlags& flags) {
  if (!CheckConfiguredPort()) return;
  int received = ProbeSerialAmplifier();
  if (received < 0) return;
  flags.unhandled = false;
  flags.found = received > 0;
}

void CheckTtusb(CheckFlags& flags) {
  if (FindPnpDevice("VID_0403", "PID_FF20") == nullptr) return;
  outputPane.Append("Looks like a TTUSB is plugged in\n");
  flags.found = true;
  flags.unhandled = false;
}

// The families that only look for one device: found, or the "Unable to locate" text.
void CheckPresence(CheckFlags& flags, const char* vendor, const char* product, const char* missingText) {
  flags.unhandled = false;
  if (FindPnpDevice(vendor, product) != nullptr) {
    flags.found = true;
  } else {
    outputPane.Append(missingText);
  }
}

// Families with a virtual COM port: presence, then the configured port, then the device's real port.
void CheckWithPorts(CheckFlags& flags, const char* vendor, const char* product, const char* missingText) {
  flags.unhandled = false;
  const PnpDeviceEntry* device = FindPnpDevice(vendor, product);
  if (device != nullptr) {
    flags.found = true;
  } else {
    outputPane.Append(missingText);
  }
  CheckConfiguredPort();
  if (device != nullptr) CheckActualPort(*device);
}

void CheckEsiPro(CheckFlags& flags) {
  flags.unhandled = false;
  const PnpDeviceEntry* device = FindPnpDevice("VID_1167");
  if (device == nullptr) {
    outputPane.Append("Unable to locate esiPro/A200/A400\n");
  } else if (device->deviceId.find("PID_110") != std::string::npos) {
    outputPane.Append("Hmmm... looks like the esiPro/A200/A400 drivers not correct\n");
  } else {
    flags.found = true;
  }
}

void CheckFamily(CheckFlags& flags) {
  switch (deviceSettings.deviceCode / 10) {
    case 0:
      if (deviceSettings.deviceCode == 1) {
        CheckProSb(flags);
      } else {
        CheckTtusb(flags);
      }
      break;
    case 2: CheckPresence(flags, "VID_0EA9", nullptr, "Unable to locate J&J device\n"); break;
    case 5: CheckWithPorts(flags, "VID_0AC2", nullptr, "Unable to locate Atlantis/Discovery device\n"); break;
    case 6: CheckEsiPro(flags); break;
    case 7: CheckWithPorts(flags, "VID_0403", "PID_E958", "Unable to locate *-Wiz device\n"); break;
    case 8: CheckPresence(flags, "VID_0C72", nullptr, "Unable to locate PCAN-USB/Q20\n"); break;
    default: break;
  }
}

struct OtherAmplifier {
  const char* vendor;
  const char* product;
  const char* text;
};

const OtherAmplifier OtherAmplifiers[] = {
    {"VID_0403", "PID_FF20", "TTUSB found\n"},
    {"VID_0EA9", nullptr, "J&J amplifier found\n"},
    {"VID_0AC2", nullptr, "Atlantis/Discovery found\n"},
    {"VID_1167", nullptr, "esiPro/A400/A200 found\n"},
    {"VID_0403", "PID_E958", "*-Wiz device found\n"},
    {"VID_0C72", "PID_000C", "PCAN-USB Q20 device found\n"},
};

void CheckOtherAmplifiers() {
  outputPane.Append("Checking other amplifiers\n");
  for (const OtherAmplifier& other : OtherAmplifiers)
    if (FindPnpDevice(other.vendor, other.product) != nullptr) outputPane.Append(other.text);
}

}  // namespace

void ClearPnpDeviceList() {
  // Unlinked one by one, so that a long list never recurses through its owners.
  std::unique_ptr<PnpDeviceEntry> entry = std::move(pnpDevices.head);
  while (entry) entry = std::move(entry->next);
  pnpDevices.tail = nullptr;
  pnpDevices.count = 0;
}

const PnpDeviceEntry* FindPnpDevice(const char* vendor, const char* product) {
  if (vendor == nullptr) {
    ClearPnpDeviceList();
    return nullptr;
  }
  if (pnpDevices.head == nullptr) FillPnpDeviceList();
  for (const PnpDeviceEntry* entry = pnpDevices.head.get(); entry != nullptr; entry = entry->next.get()) {
    const std::string& id = entry->deviceId;
    if (id.find(vendor) != std::string::npos && (product == nullptr || id.find(product) != std::string::npos))
      return entry;
  }
  return nullptr;
}

int ProbeSerialAmplifier() {
  LinkConnection* link = LinkCreate();
  if (link == nullptr) return -1;
  int baud = deviceSettings.procompProtocol == 1 ? 19200 : 38400;
  int result = LinkConnect(link, "serial", deviceSettings.amplifierPortName, baud, 0);
  if (result != 0) {
    outputPane.AppendFormat("Error connecting to %s (%d)\n", deviceSettings.amplifierPortName, result);
    LinkRelease(link);
    return -1;
  }
  link->rawMode = 1;
  std::uint8_t buffer[ProbeBufferSize];
  int total = 0;
  for (int round = 0; round < ProbeRounds; ++round) {
    total += LinkReceive(link, -1, buffer, ProbeBufferSize);
    PauseKeepingWindowsPainted(ProbeRoundPause);
  }
  unsigned errors = link->errorCount;
  LinkRelease(link);
  outputPane.AppendFormat("Received %d characters with %u errors from the ProSB\n", total, errors);
  outputPane.Append(
      "You should receive characters with few errors if the ProComp was ON\nYou shouldn't receive characters "
      "if it was OFF\n  (maybe the wrong channel?)\n");
  return total;
}

int TestConfiguredAmplifier(int interactive) {
  outputPane.Clear();
  ReadDeviceSettings();
  if (interactive)
    outputPane.Append(
        "These tests are just to confirm something is there!  Actual 'testing' must be\nperformed with the "
        "Amplifier/Encoder Test in Tavik->Tools\n");
  CheckFlags flags;
  outputPane.AppendFormat("\nExamining %s\n", deviceSettings.inputSource);
  CheckFamily(flags);
  if (!flags.found) CheckOtherAmplifiers();
  if (flags.unhandled) outputPane.AppendFormat("Unhandled device : %s\n", deviceSettings.inputSource);
  outputPane.Append("\nDone\n");
  if (interactive) outputPane.Refresh();
  ClearPnpDeviceList();
  return flags.found ? AmplifierFound : AmplifierNotFound;
}

int RunStartupTest() {
  ReadDeviceSettings();
  ScanComPorts(MaxComPort, ComPortTable);
  PortsReport[0] = '\0';
  std::remove(StatusFileName);
  int result = TestConfiguredAmplifier(0);
  if (result == AmplifierFound) return result;
  if (std::FILE* file = std::fopen(StatusFileName, "w")) {
    std::fputs(outputPane.Text(), file);
    std::fclose(file);
  }
  return result;
}
