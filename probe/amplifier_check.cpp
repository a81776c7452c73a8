// The amplifier check: one family check chosen by the device code, the other-amplifiers pass, and the
// start-up test's status file.
#include "amplifier_check.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "appbase/painted_wait.h"
#include "appbase/whole_file.h"
#include "device_types.h"
#include "link/link.h"
#include "probe_state.h"
#include "sysutil/wmi_query.h"

namespace {

const char* const StatusFileName = "ampstatus.txt";
constexpr int ProbeRounds = 40;
constexpr auto ProbeRoundPause = std::chrono::milliseconds(250);
constexpr int ProbeBufferSize = 1600;

// A device's USB identifiers as they stand in its DeviceID; no product: any device of the vendor.
struct UsbIds {
  const char* vendor;
  const char* product;
};

constexpr UsbIds TtusbIds{"VID_0403", "PID_FF20"};
constexpr UsbIds JJIds{"VID_0EA9", nullptr};
constexpr UsbIds AtlantisIds{"VID_0AC2", nullptr};
constexpr UsbIds EsiProIds{"VID_1167", nullptr};
constexpr UsbIds WizIds{"VID_0403", "PID_E958"};
constexpr UsbIds Q20Ids{"VID_0C72", "PID_000C"};
// An esiPro whose DeviceID carries this product runs with the wrong drivers.
const char* const EsiProWrongDriverProduct = "PID_110";

// One check: what it reads, where it writes, the devices it looks among, and what it found.
struct Check {
  OutputPane& pane;
  const DeviceSettings& settings;
  const ComPortTable& ports;
  PnpDeviceList& devices;
  bool found = false;
  bool unhandled = true;
};

void AddPnpDevice(PnpDeviceList& devices, const char* deviceId, const char* name) {
  auto entry = std::make_unique<PnpDeviceEntry>();
  entry->deviceId = deviceId;
  entry->name = name;
  PnpDeviceEntry* added = entry.get();
  if (devices.tail == nullptr) {
    devices.head = std::move(entry);
  } else {
    devices.tail->next = std::move(entry);
  }
  devices.tail = added;
  ++devices.count;
}

void FillPnpDeviceList(PnpDeviceList& devices, OutputPane& pane) {
  int opened = WmiOpenQuery("Win32_PNPEntity");
  if (opened != 0) {
    pane.AppendFormat("Unable to query devices : %d\n", opened);
    return;
  }
  char deviceId[PnpTextSize];
  char name[PnpTextSize];
  int result;
  while ((result = WmiNextDevice(deviceId, sizeof deviceId, name, sizeof name)) != -1) {
    if (result > 0) {
      pane.AppendFormat("Error querying devices : %d\n", result);
      break;
    }
    AddPnpDevice(devices, deviceId, name);
  }
  WmiClose();
}

const PnpDeviceEntry* Find(Check& check, const UsbIds& ids) {
  return FindPnpDevice(check.devices, check.pane, ids.vendor, ids.product);
}

// "COM%d specified is not a valid com port\n" when the configured port was not found; true when it was.
bool CheckConfiguredPort(Check& check) {
  if (ComPortExists(check.ports, check.settings.amplifierPort)) return true;
  check.pane.AppendFormat("COM%d specified is not a valid com port\n", check.settings.amplifierPort);
  return false;
}

// Compares the "(COMn)" of the device's name with the configured port.
void CheckActualPort(Check& check, const PnpDeviceEntry& device) {
  const char* com = std::strstr(device.name.c_str(), "(COM");
  if (com == nullptr) return;
  int actual = std::atoi(com + 4);
  if (actual != 0 && actual != check.settings.amplifierPort)
    check.pane.AppendFormat("Actual port is COM%d and not COM%d as specified\n", actual, check.settings.amplifierPort);
}

void CheckProSb(Check& check) {
  if (!CheckConfiguredPort(check)) return;
  int received = ProbeSerialAmplifier(check.pane, check.settings);
  if (received < 0) return;
  check.unhandled = false;
  check.found = received > 0;
}

void CheckTtusb(Check& check) {
  if (Find(check, TtusbIds) == nullptr) return;
  check.pane.Append("Looks like a TTUSB is plugged in\n");
  check.found = true;
  check.unhandled = false;
}

// The families that only look for one device: found, or the "Unable to locate" text.
void CheckPresence(Check& check, const UsbIds& ids, const char* missingText) {
  check.unhandled = false;
  if (Find(check, ids) != nullptr) {
    check.found = true;
  } else {
    check.pane.Append(missingText);
  }
}

// Families with a virtual COM port: presence, then the configured port, then the device's real port.
void CheckWithPorts(Check& check, const UsbIds& ids, const char* missingText) {
  check.unhandled = false;
  const PnpDeviceEntry* device = Find(check, ids);
  if (device != nullptr) {
    check.found = true;
  } else {
    check.pane.Append(missingText);
  }
  CheckConfiguredPort(check);
  if (device != nullptr) CheckActualPort(check, *device);
}

void CheckEsiPro(Check& check) {
  check.unhandled = false;
  const PnpDeviceEntry* device = Find(check, EsiProIds);
  if (device == nullptr) {
    check.pane.Append("Unable to locate esiPro/A200/A400\n");
  } else if (device->deviceId.find(EsiProWrongDriverProduct) != std::string::npos) {
    check.pane.Append("Hmmm... looks like the esiPro/A200/A400 drivers not correct\n");
  } else {
    check.found = true;
  }
}

void CheckFamily(Check& check) {
  switch (AmplifierFamilyOf(check.settings.deviceCode)) {
    case FamilySerialOrTtusb:
      if (check.settings.deviceCode == DeviceCodeProSb) {
        CheckProSb(check);
      } else {
        CheckTtusb(check);
      }
      break;
    case FamilyJJ:
      CheckPresence(check, JJIds, "Unable to locate J&J device\n");
      break;
    case FamilyAtlantis:
      CheckWithPorts(check, AtlantisIds, "Unable to locate Atlantis/Discovery device\n");
      break;
    case FamilyEsiPro:
      CheckEsiPro(check);
      break;
    case FamilyWiz:
      CheckWithPorts(check, WizIds, "Unable to locate *-Wiz device\n");
      break;
    // Any device of the Q20's vendor will do here; only the other-amplifiers pass asks for its product.
    case FamilyQ20:
      CheckPresence(check, {Q20Ids.vendor, nullptr}, "Unable to locate PCAN-USB/Q20\n");
      break;
    default:
      break;
  }
}

struct OtherAmplifier {
  UsbIds ids;
  const char* text;
};

const OtherAmplifier OtherAmplifiers[] = {
    {TtusbIds, "TTUSB found\n"},
    {JJIds, "J&J amplifier found\n"},
    {AtlantisIds, "Atlantis/Discovery found\n"},
    {EsiProIds, "esiPro/A400/A200 found\n"},
    {WizIds, "*-Wiz device found\n"},
    {Q20Ids, "PCAN-USB Q20 device found\n"},
};

void CheckOtherAmplifiers(Check& check) {
  check.pane.Append("Checking other amplifiers\n");
  for (const OtherAmplifier& other : OtherAmplifiers)
    if (Find(check, other.ids) != nullptr) check.pane.Append(other.text);
}

}  // namespace

void ClearPnpDeviceList(PnpDeviceList& devices) {
  // Unlinked one by one, so that a long list never recurses through its owners.
  std::unique_ptr<PnpDeviceEntry> entry = std::move(devices.head);
  while (entry) entry = std::move(entry->next);
  devices.tail = nullptr;
  devices.count = 0;
}

const PnpDeviceEntry* FindPnpDevice(PnpDeviceList& devices, OutputPane& pane, const char* vendor, const char* product) {
  if (vendor == nullptr) {
    ClearPnpDeviceList(devices);
    return nullptr;
  }
  if (devices.head == nullptr) FillPnpDeviceList(devices, pane);
  for (const PnpDeviceEntry* entry = devices.head.get(); entry != nullptr; entry = entry->next.get()) {
    const std::string& id = entry->deviceId;
    if (id.find(vendor) != std::string::npos && (product == nullptr || id.find(product) != std::string::npos))
      return entry;
  }
  return nullptr;
}

int ProbeSerialAmplifier(OutputPane& pane, const DeviceSettings& settings) {
  LinkConnection* link = LinkCreate();
  if (link == nullptr) return -1;
  int baud = settings.procompProtocol == 1 ? 19200 : 38400;
  int result = LinkConnect(link, "serial", settings.amplifierPortName, baud, 0);
  if (result != 0) {
    pane.AppendFormat("Error connecting to %s (%d)\n", settings.amplifierPortName, result);
    LinkRelease(link);
    return -1;
  }
  LinkSetSerialModes(link, 0, 1);  // raw bytes instead of framed messages
  std::uint8_t buffer[ProbeBufferSize];
  int total = 0;
  for (int round = 0; round < ProbeRounds; ++round) {
    total += LinkReceive(link, -1, buffer, ProbeBufferSize);
    PauseKeepingWindowsPainted(ProbeRoundPause);
  }
  unsigned errors = link->errorCount;
  LinkRelease(link);
  pane.AppendFormat("Received %d characters with %u errors from the ProSB\n", total, errors);
  pane.Append(
      "You should receive characters with few errors if the ProComp was ON\nYou shouldn't receive characters "
      "if it was OFF\n  (maybe the wrong channel?)\n");
  return total;
}

int TestConfiguredAmplifier(ProbeState& state, int interactive) {
  state.pane.Clear();
  ReadDeviceSettingsInto(state.settings);
  if (interactive)
    state.pane.Append(
        "These tests are just to confirm something is there!  Actual 'testing' must be\nperformed with the "
        "Amplifier/Encoder Test in Tavik->Tools\n");
  Check check{state.pane, state.settings, state.ports, state.pnpDevices};
  state.pane.AppendFormat("\nExamining %s\n", state.settings.inputSource);
  CheckFamily(check);
  if (!check.found) CheckOtherAmplifiers(check);
  if (check.unhandled) state.pane.AppendFormat("Unhandled device : %s\n", state.settings.inputSource);
  state.pane.Append("\nDone\n");
  if (interactive) state.pane.Refresh();
  ClearPnpDeviceList(state.pnpDevices);
  return check.found ? AmplifierFound : AmplifierNotFound;
}

int RunStartupTest(ProbeState& state) {
  ReadDeviceSettingsInto(state.settings);
  ScanComPorts(MaxComPort, state.ports.data());
  state.portsReport[0] = '\0';
  std::remove(StatusFileName);
  int result = TestConfiguredAmplifier(state, 0);
  if (result == AmplifierFound) return result;
  // Written whole and renamed into place: a link planted under the name in a shared folder is replaced,
  // not followed.
  WriteWholeFile(StatusFileName, state.pane.Text(), FileTextMode::Text);
  return result;
}
