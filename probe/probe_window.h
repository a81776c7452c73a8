// The linkprobe main window: the output display, the identity box and the column of test buttons.
#pragma once

#include <memory>

class Fl_Button;
class Fl_Output;
class Fl_Text_Display;
class Fl_Window;
class IpSetupDialog;
class PaneDisplay;
class IdentityField;
struct ProbeState;

class ProbeWindow {
 public:
  // Builds the window with its children and attaches its display and field to the state's pane and
  // identity box; the window stays hidden. Its actions work on the state.
  explicit ProbeWindow(ProbeState& state);
  ~ProbeWindow();
  ProbeWindow(const ProbeWindow&) = delete;
  ProbeWindow& operator=(const ProbeWindow&) = delete;

  void SetTitle(const char* title);
  // The dialog that "Try setting IP address" runs; none until it is set.
  void SetIpSetupDialog(IpSetupDialog* dialog) { ipSetupDialog_ = dialog; }
  // Greys out (or not) "Sound Test (game computer)"; the state is kept for the whole run.
  void SetGameSoundActive(bool active);
  void Show();
  void Hide();

  // Hides the window and ends the event loop: "Done (Exit)", the close box and Escape.
  void RequestExit();
  // True once the user asked to exit: the event loop runs until then.
  bool ExitRequested() const { return exitRequested_; }
  // "Rescan ports/Tavik config".
  void RescanPortsAndConfig();
  // "Sound Test (this computer)", "Sound Test (game computer)", "Test  Game Communications" and
  // "Test Configured Amplifier".
  void PlayLocalSound();
  void SendGameSound();
  void TestGameLink();
  void TestAmplifier();
  void RunIpSetupDialog();

 private:
  void BuildButtons();

  ProbeState& state_;
  bool exitRequested_ = false;
  Fl_Window* window_ = nullptr;
  Fl_Text_Display* display_ = nullptr;
  Fl_Output* identity_ = nullptr;
  Fl_Button* gameSoundButton_ = nullptr;
  IpSetupDialog* ipSetupDialog_ = nullptr;
  std::unique_ptr<PaneDisplay> paneDisplay_;
  std::unique_ptr<IdentityField> identityField_;
};
