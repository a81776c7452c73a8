// Start-up of toolboard in its fixed order, then the event loop until the user asks to exit.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include "menu_startup.h"
#include "menu_window.h"
#include "socket_library.h"
#include "software_report.h"
#include "sysutil/identity_box.h"
#include "sysutil/ip_setup_dialog.h"
#include "sysutil/painted_wait.h"
#include "toolboard_entry.h"
#include "windowing/paint_pump.h"
#include "windowing/program_look.h"

namespace {

void BuildIpSetupDialog(MenuWindow& menu) {
  IpSetupHost host;
  host.hideMainWindow = [&menu] { menu.Hide(); };
  host.showMainWindow = [&menu] { menu.Show(); };
  host.showHostAddress = [](const char* text) { identityBox.Set(text); };
  host.stationRole = StationRole;
  CreateIpSetupDialog(IpSetupLayout::Toolboard, host);  // built hidden
}

}  // namespace

int ToolboardMain(const char* commandLine) {
  PrepareMenuStartup(commandLine);
  StartSocketLibrary();
  ApplyProgramLook();
  SetPaintPump(PumpPaintMessages);
  MenuWindow menu;
  BuildIpSetupDialog(menu);
  menu.ApplySiblingPrograms(FindSiblingPrograms());
  ReportPlatformAndPorts();
  FormatMenuTitle(TitleText, sizeof TitleText, StationRole);
  menu.SetTitle(TitleText);
  menu.Show();
  ExitRequested = 0;
  while (ExitRequested == 0) Fl::wait();
  menu.Hide();
  TheIpSetupDialog()->Window()->hide();
  StopSocketLibrary();
  return 0;
}
