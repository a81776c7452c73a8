// Start-up of linkprobe in its fixed order, then the event loop until the user asks to exit.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include <cstring>

#include "amplifier_check.h"
#include "device_settings.h"
#include "ports_report.h"
#include "probe_entry.h"
#include "probe_startup.h"
#include "probe_window.h"
#include "sysutil/identity_box.h"
#include "sysutil/ip_setup_dialog.h"
#include "sysutil/painted_wait.h"
#include "windowing/paint_pump.h"
#include "windowing/program_look.h"

namespace {

// The IP set-up dialog, built hidden; while it is open the main window is hidden.
void BuildIpSetupDialog(ProbeWindow& window) {
  IpSetupHost host;
  host.hideMainWindow = [&window] { window.Hide(); };
  host.showMainWindow = [&window] { window.Show(); };
  host.showHostAddress = [](const char* text) { identityBox.Set(text); };
  host.stationRole = StationRole;
  CreateIpSetupDialog(IpSetupLayout::Probe, host);
}

}  // namespace

int LinkProbeMain(const char* commandLine) {
  PrepareStartup(commandLine);
  if (std::strstr(commandLine, "STARTUPTEST") != nullptr) return RunStartupTest();
  ApplyProgramLook();
  SetPaintPump(PumpPaintMessages);
  ReadDeviceSettings();
  StationRole = DecideStationRole(StartupDirectory);
  ProbeWindow window;
  BuildIpSetupDialog(window);
  window.SetTitle(TitleText);
  ScanPortsAndConfig();
  window.SetGameSoundActive(deviceSettings.displayMode == 2);
  window.Show();
  ExitRequested = 0;
  while (ExitRequested == 0) Fl::wait();
  window.Hide();
  TheIpSetupDialog()->Window()->hide();
  return 0;
}
