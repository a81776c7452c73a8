// The toolboard main window: the report output, the identity box and the buttons that start the
// suite's service programs, the system's tools, the two reports and the IP set-up dialog.
#pragma once

#include <memory>

#include "menu_startup.h"

class Fl_Button;
class IpSetupDialog;
class Fl_Output;
class Fl_Window;
class IdentityField;
class ReportDisplay;
struct ToolboardState;

class MenuWindow {
 public:
  // Builds the window with its children, hidden, and attaches its output and identity field to the
  // state's report output and identity box. Its reports work on the state.
  explicit MenuWindow(ToolboardState& state);
  ~MenuWindow();
  MenuWindow(const MenuWindow&) = delete;
  MenuWindow& operator=(const MenuWindow&) = delete;

  // Greys out the buttons of the sibling programs that are missing (and activates "Run
  // Communications Test Tool", created greyed out, when linkprobe is there).
  void ApplySiblingPrograms(const SiblingPrograms& found);
  void SetTitle(const char* title);
  // The dialog that "Try setting IP address" runs; none until it is set.
  void SetIpSetupDialog(IpSetupDialog* dialog) { ipSetupDialog_ = dialog; }
  void Show();
  void Hide();
  Fl_Window* Window() const { return window_; }

  // Runs the program at `path` to its end, then redraws the window. Meanwhile the window is kept painted,
  // and clicks and keys wait until the program has ended.
  void LaunchAndWait(const char* path);
  // Hides the window and ends the event loop: "Done (Exit)", the close box and Escape.
  void RequestExit();
  // True once the user asked to exit: the event loop runs until then.
  bool ExitRequested() const { return exitRequested_; }

  // "Rescan serial ports" and "Report installed software".
  void RescanSerialPorts();
  void ReportSoftware();
  void RunIpSetupDialog();

  void RunSignalbay();
  void RunCommunicationsTestTool();
  void RunCommRecorderConsole();
  void RunWiretrace();

 private:
  void BuildSiblingButtons();
  void BuildReportButtons();
  void BuildToolButtons();

  ToolboardState& state_;
  bool exitRequested_ = false;
  Fl_Window* window_ = nullptr;
  IpSetupDialog* ipSetupDialog_ = nullptr;
  Fl_Output* report_ = nullptr;
  Fl_Output* identity_ = nullptr;
  Fl_Button* signalbayButton_ = nullptr;
  Fl_Button* linkProbeButton_ = nullptr;
  Fl_Button* recorderButton_ = nullptr;
  Fl_Button* wiretraceButton_ = nullptr;
  std::unique_ptr<ReportDisplay> reportDisplay_;
  std::unique_ptr<IdentityField> identityField_;
};
