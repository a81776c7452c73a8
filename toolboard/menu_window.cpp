// Widget layout of the toolboard window; every action is reached through the user data of the
// widget's parent window, which is the MenuWindow object.
#include "menu_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Scroll.H>
#include <FL/Fl_Window.H>

#include "netsetup_ui/identity_output.h"
#include "netsetup_ui/ip_setup_dialog.h"
#include "program_launch.h"
#include "software_report.h"
#include "appbase/startup_directory.h"
#include "sysutil/system_tools.h"
#include "toolboard_state.h"

namespace {

class OutputReportDisplay : public ReportDisplay {
 public:
  explicit OutputReportDisplay(Fl_Output* output) : output_(output) {}
  void ShowText(const char* text) override { output_->value(text); }

 private:
  Fl_Output* output_;
};

MenuWindow* OwnerOf(Fl_Widget* widget) {
  Fl_Window* top = widget->window() != nullptr ? widget->window() : widget->as_window();
  return static_cast<MenuWindow*>(top->user_data());
}

void OnSignalbay(Fl_Widget* widget, void*) { OwnerOf(widget)->RunSignalbay(); }
void OnLinkProbe(Fl_Widget* widget, void*) { OwnerOf(widget)->RunCommunicationsTestTool(); }
void OnRecorder(Fl_Widget* widget, void*) { OwnerOf(widget)->RunCommRecorderConsole(); }
void OnWiretrace(Fl_Widget* widget, void*) { OwnerOf(widget)->RunWiretrace(); }
void OnRescan(Fl_Widget* widget, void*) { OwnerOf(widget)->RescanSerialPorts(); }
void OnSoftware(Fl_Widget* widget, void*) { OwnerOf(widget)->ReportSoftware(); }
void OnFileExplorer(Fl_Widget*, void*) { StartFileExplorer(PlatformCode); }
void OnDeviceManager(Fl_Widget*, void*) { StartDeviceManager(PlatformCode); }
void OnDxDiag(Fl_Widget*, void*) { StartDxDiag(PlatformCode); }
void OnControlPanel(Fl_Widget*, void*) { StartControlPanel(PlatformCode); }
void OnSystemInformation(Fl_Widget*, void*) { StartSystemInformation(PlatformCode); }
void OnNetworkConnections(Fl_Widget*, void*) { StartNetworkConnections(PlatformCode); }
void OnCommandPrompt(Fl_Widget*, void*) { StartCommandPrompt(PlatformCode); }
void OnIpSetup(Fl_Widget* widget, void*) { OwnerOf(widget)->RunIpSetupDialog(); }
void OnExit(Fl_Widget* widget, void*) { OwnerOf(widget)->RequestExit(); }

Fl_Button* AddButton(int x, int y, int w, int h, const char* label, Fl_Callback* action,
                     Fl_Color colour = FL_BACKGROUND_COLOR) {
  Fl_Button* button = new Fl_Button(x, y, w, h, label);
  button->color(colour);
  button->callback(action);
  return button;
}

void SetActive(Fl_Widget* widget, bool active) {
  if (active) {
    widget->activate();
  } else {
    widget->deactivate();
  }
}

}  // namespace

MenuWindow::MenuWindow(ToolboardState& state) : state_(state) {
  window_ = new Fl_Window(599, 518, "Tavik Tech Support Menu");
  window_->user_data(this);
  window_->callback(OnExit);
  Fl_Scroll* scroll = new Fl_Scroll(25, 10, 545, 155);
  report_ = new Fl_Output(25, 10, 545, 150);
  report_->type(FL_MULTILINE_OUTPUT);
  scroll->resizable(report_);
  scroll->end();
  identity_ = new Fl_Output(30, 170, 285, 25);
  identity_->labeltype(FL_NO_LABEL);
  identity_->color(254);
  BuildSiblingButtons();
  BuildReportButtons();
  BuildToolButtons();
  AddButton(340, 440, 255, 30, "Try setting IP address", OnIpSetup, 133);
  AddButton(100, 475, 380, 25, "Done (Exit)", OnExit, 19);
  window_->end();
  window_->resizable(scroll);
  reportDisplay_ = std::make_unique<OutputReportDisplay>(report_);
  identityField_ = std::make_unique<OutputIdentityField>(identity_);
  state_.report.AttachDisplay(reportDisplay_.get());
  state_.identity.AttachField(identityField_.get());
}

// The cable tester's button is created after the recorder's but lies above it.
void MenuWindow::BuildSiblingButtons() {
  signalbayButton_ = AddButton(30, 200, 285, 25, "Run Signalbay", OnSignalbay);
  linkProbeButton_ = AddButton(30, 260, 285, 25, "Run Communications Test Tool", OnLinkProbe, 174);
  linkProbeButton_->deactivate();
  recorderButton_ = AddButton(30, 320, 285, 25, "Run comm recorder console", OnRecorder);
  wiretraceButton_ = AddButton(30, 290, 285, 25, "Run Wiretrace", OnWiretrace);
}

void MenuWindow::BuildReportButtons() {
  AddButton(30, 350, 285, 25, "Rescan serial ports", OnRescan);
  AddButton(30, 380, 285, 25, "Report installed software", OnSoftware);
}

void MenuWindow::BuildToolButtons() {
  AddButton(402, 171, 190, 30, "Start My Computer", OnFileExplorer);
  AddButton(402, 205, 190, 30, "Start Device Manager", OnDeviceManager, 175);
  AddButton(402, 240, 190, 30, "Start dxdiag", OnDxDiag);
  AddButton(400, 275, 190, 30, "Start Control Panel", OnControlPanel, 213);
  AddButton(402, 310, 190, 30, "Start msinfo", OnSystemInformation);
  AddButton(402, 345, 190, 30, "Start Network Connections", OnNetworkConnections, 229)->align(FL_ALIGN_WRAP);
  AddButton(402, 380, 190, 30, "Start cmd", OnCommandPrompt);
}

MenuWindow::~MenuWindow() {
  state_.report.AttachDisplay(nullptr);
  state_.identity.AttachField(nullptr);
  delete window_;
}

void MenuWindow::ApplySiblingPrograms(const SiblingPrograms& found) {
  SetActive(recorderButton_, found.commRecorder);
  SetActive(signalbayButton_, found.signalbay);
  SetActive(wiretraceButton_, found.wiretrace);
  SetActive(linkProbeButton_, found.linkProbe);
}

void MenuWindow::SetTitle(const char* title) { window_->label(title); }
void MenuWindow::Show() { window_->show(); }
void MenuWindow::Hide() { window_->hide(); }

void MenuWindow::LaunchAndWait(const char* path) {
  RunProgramAndWait(path);
  window_->redraw();
}

void MenuWindow::RequestExit() {
  window_->hide();
  exitRequested_ = true;
}

void MenuWindow::RescanSerialPorts() { ReportPlatformAndPorts(state_); }
void MenuWindow::ReportSoftware() { ReportInstalledSoftware(state_.report); }

void MenuWindow::RunIpSetupDialog() {
  if (ipSetupDialog_) ipSetupDialog_->Run();
}

void MenuWindow::RunSignalbay() { LaunchAndWait(SignalbayPath); }
void MenuWindow::RunCommunicationsTestTool() { LaunchAndWait(LinkProbeProgram); }
void MenuWindow::RunCommRecorderConsole() { LaunchAndWait(CommRecorderProgram); }
void MenuWindow::RunWiretrace() { LaunchAndWait(WiretraceProgram); }
