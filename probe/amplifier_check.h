// The check that the configured amplifier or encoder is attached: its USB identifiers among the
// Plug-and-Play devices, its real COM port against the configured one, and for the serial ProSB
// encoder ten seconds of listening on its port. Also runs windowless as the start-up test.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class OutputPane;
struct DeviceSettings;
struct ProbeState;

constexpr std::size_t PnpTextSize = 400;  // per text, terminator included

struct PnpDeviceEntry {
  std::string deviceId;  // "DeviceID"
  std::string name;      // "Name"
  std::unique_ptr<PnpDeviceEntry> next;
};

// The Plug-and-Play devices of the running check in the order the query delivered them; filled by
// the check's first lookup and emptied at its end. The run's state (ProbeState) holds it.
struct PnpDeviceList {
  std::unique_ptr<PnpDeviceEntry> head;
  PnpDeviceEntry* tail = nullptr;
  int count = 0;
};

// The button that runs the interactive check, as the window and the windowless report name it.
constexpr const char* AmplifierTestLabel = "Test Configured Amplifier";

// 0 when the configured amplifier was found, 1 when it was not.
constexpr int AmplifierFound = 0;
constexpr int AmplifierNotFound = 1;

// "Test Configured Amplifier" (interactive 1, shows the pane at the end) and the start-up test (0), on
// freshly read settings and the last port scan: AmplifierFound or AmplifierNotFound.
int TestConfiguredAmplifier(ProbeState& state, int interactive);

// The windowless start-up test: settings, port scan, check; the pane text goes to "ampstatus.txt" in
// the current directory when the amplifier was not found. Returns the check's result.
int RunStartupTest(ProbeState& state);

// The first device of `devices` whose DeviceID contains `vendor` and, when given, `product`
// (case-sensitive), or null. Fills the list on first use; reports query failures in the pane. A null
// vendor empties the list.
const PnpDeviceEntry* FindPnpDevice(PnpDeviceList& devices, OutputPane& pane, const char* vendor,
                                    const char* product = nullptr);
void ClearPnpDeviceList(PnpDeviceList& devices);

// Listens 40 x 250 ms in raw mode on the configured amplifier port at 19200 baud (ProComp protocol
// option 1) or 38400, and appends what came. Returns the number of bytes received, or -1 when the
// port could not be opened (the pane says why).
int ProbeSerialAmplifier(OutputPane& pane, const DeviceSettings& settings);
