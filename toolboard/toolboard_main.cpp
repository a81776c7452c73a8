// Start-up of toolboard in its fixed order, then the event loop until the user asks to exit. The run's
// state is made here and handed to the window and the reports.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include <memory>

#include "appbase/painted_wait.h"
#include "appbase/program_entry.h"
#include "menu_startup.h"
#include "menu_window.h"
#include "platform/socket_library.h"
#include "netsetup_ui/ip_setup_dialog.h"
#include "software_report.h"
#include "toolboard_state.h"
#include "window_platform/paint_pump.h"
#include "window_platform/program_look.h"

namespace {

std::unique_ptr<IpSetupDialog> BuildIpSetupDialog(MenuWindow& menu, IdentityBox& identity) {
  IpSetupHost host;
  host.hideMainWindow = [&menu] { menu.Hide(); };
  host.showMainWindow = [&menu] { menu.Show(); };
  host.showHostAddress = [&identity](const char* text) { identity.Set(text); };
  host.stationRole = StationRole;
  auto dialog = std::make_unique<IpSetupDialog>(IpSetupLayout::Toolboard, host);
  dialog->Window()->hide();  // built hidden
  menu.SetIpSetupDialog(dialog.get());
  return dialog;
}

}  // namespace

int ProgramMain(const char* commandLine) {
  PrepareMenuStartup(commandLine);
  StartSocketLibrary();
  ApplyProgramLook();
  SetPaintPump(PumpPaintMessages);
  ToolboardState state;
  MenuWindow menu(state);
  std::unique_ptr<IpSetupDialog> dialog = BuildIpSetupDialog(menu, state.identity);
  menu.ApplySiblingPrograms(FindSiblingPrograms());
  ReportPlatformAndPorts(state);
  FormatMenuTitle(TitleText, sizeof TitleText, StationRole);
  menu.SetTitle(TitleText);
  menu.Show();
  while (!menu.ExitRequested()) Fl::wait();
  menu.Hide();
  dialog->Window()->hide();
  StopSocketLibrary();
  return 0;
}
