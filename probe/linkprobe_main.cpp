// Start-up of linkprobe in its fixed order, then the event loop until the user asks to exit.
#include <FL/Fl.H>

#include <cstring>

#include "amplifier_check.h"
#include "device_settings.h"
#include "ports_report.h"
#include "probe_entry.h"
#include "probe_startup.h"
#include "probe_window.h"

int LinkProbeMain(const char* commandLine) {
  PrepareStartup(commandLine);
  if (std::strstr(commandLine, "STARTUPTEST") != nullptr) return RunStartupTest();
  ReadDeviceSettings();
  StationRole = DecideStationRole(StartupDirectory);
  ProbeWindow window;
  window.SetTitle(TitleText);
  ScanPortsAndConfig();
  window.SetGameSoundActive(deviceSettings.displayMode == 2);
  window.Show();
  ExitRequested = 0;
  while (ExitRequested == 0) Fl::wait();
  window.Hide();
  return 0;
}
