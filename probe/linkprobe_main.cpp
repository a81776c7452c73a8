// Start-up of linkprobe in its fixed order, then the event loop until the user asks to exit. The run's
// state is made here and handed to the window and the actions.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include <cstring>
#include <memory>

#include "amplifier_check.h"
#include "appbase/painted_wait.h"
#include "appbase/program_entry.h"
#include "netsetup_ui/ip_setup_dialog.h"
#include "ports_report.h"
#include "probe_report.h"
#include "probe_startup.h"
#include "probe_state.h"
#include "probe_window.h"
#include "window_platform/paint_pump.h"
#include "window_platform/program_look.h"

namespace {

// The IP set-up dialog, built hidden; while it is open the main window is hidden.
std::unique_ptr<IpSetupDialog> BuildIpSetupDialog(ProbeWindow& window, IdentityBox& identity) {
  IpSetupHost host;
  host.hideMainWindow = [&window] { window.Hide(); };
  host.showMainWindow = [&window] { window.Show(); };
  host.showHostAddress = [&identity](const char* text) { identity.Set(text); };
  host.stationRole = StationRole;
  auto dialog = std::make_unique<IpSetupDialog>(IpSetupLayout::Probe, host);
  dialog->Window()->hide();
  window.SetIpSetupDialog(dialog.get());
  return dialog;
}

}  // namespace

int ProgramMain(const char* commandLine) {
  PrepareStartup(commandLine);
  ProbeState state;
  if (std::strstr(commandLine, "STARTUPTEST") != nullptr) return RunStartupTest(state);
  if (HasCommandWord(commandLine, ReportWord)) return RunReport(state);
  ApplyProgramLook();
  SetPaintPump(PumpPaintMessages);
  ReadDeviceSettingsInto(state.settings);
  StationRole = DecideStationRole(StartupDirectory);
  ProbeWindow window(state);
  std::unique_ptr<IpSetupDialog> dialog = BuildIpSetupDialog(window, state.identity);
  window.SetTitle(TitleText);
  ScanPortsAndConfig(state);
  window.SetGameSoundActive(state.settings.displayMode == 2);
  window.Show();
  while (!window.ExitRequested()) Fl::wait();
  window.Hide();
  dialog->Window()->hide();
  return 0;
}
