// The linkprobe main window: the output display, the identity box and the column of test buttons.
#pragma once

#include <memory>

class Fl_Button;
class Fl_Output;
class Fl_Text_Display;
class Fl_Window;
class PaneDisplay;
class IdentityField;

class ProbeWindow {
 public:
  // Builds the window with its children and attaches its display and field to the pane and the
  // identity box; the window stays hidden.
  ProbeWindow();
  ~ProbeWindow();
  ProbeWindow(const ProbeWindow&) = delete;
  ProbeWindow& operator=(const ProbeWindow&) = delete;

  void SetTitle(const char* title);
  // Greys out (or not) "Sound Test (game computer)"; the state is kept for the whole run.
  void SetGameSoundActive(bool active);
  void Show();
  void Hide();

  // Hides the window and ends the event loop: "Done (Exit)", the close box and Escape.
  void RequestExit();
  // "Rescan ports/Tavik config".
  void RescanPortsAndConfig();
  // "Sound Test (this computer)", "Sound Test (game computer)", "Test  Game Communications" and
  // "Test Configured Amplifier".
  void PlayLocalSound();
  void SendGameSound();
  void TestGameLink();
  void TestAmplifier();

 private:
  void BuildButtons();

  Fl_Window* window_ = nullptr;
  Fl_Text_Display* display_ = nullptr;
  Fl_Output* identity_ = nullptr;
  Fl_Button* gameSoundButton_ = nullptr;
  std::unique_ptr<PaneDisplay> paneDisplay_;
  std::unique_ptr<IdentityField> identityField_;
};
