// Widget layout of the linkprobe window; every action is a member reached from the widgets'
// parent window, whose user data is the ProbeWindow object.
#include "probe_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Window.H>

#include "amplifier_check.h"
#include "game_communications.h"
#include "netsetup_ui/identity_output.h"
#include "netsetup_ui/ip_setup_dialog.h"
#include "probe_state.h"
#include "appbase/startup_directory.h"
#include "sysutil/system_tools.h"

namespace {

constexpr int PaneBufferCapacity = 5000;

// Shows the pane's text in the window's text display; the buffer is created on the first refresh.
class TextDisplayPane : public PaneDisplay {
 public:
  explicit TextDisplayPane(Fl_Text_Display* display) : display_(display) {}
  ~TextDisplayPane() override {
    display_->buffer(nullptr);
    delete buffer_;
  }
  void ShowText(const char* text) override {
    if (buffer_ == nullptr) {
      buffer_ = new Fl_Text_Buffer(PaneBufferCapacity);
      display_->buffer(buffer_);
      buffer_->insert(0, text);
    } else {
      buffer_->replace(0, buffer_->length(), text);
    }
  }

 private:
  Fl_Text_Display* display_;
  Fl_Text_Buffer* buffer_ = nullptr;
};

ProbeWindow* OwnerOf(Fl_Widget* widget) {
  Fl_Window* top = widget->window() != nullptr ? widget->window() : widget->as_window();
  return static_cast<ProbeWindow*>(top->user_data());
}

void OnExit(Fl_Widget* widget, void*) { OwnerOf(widget)->RequestExit(); }
void OnRescan(Fl_Widget* widget, void*) { OwnerOf(widget)->RescanPortsAndConfig(); }
void OnLocalSound(Fl_Widget* widget, void*) { OwnerOf(widget)->PlayLocalSound(); }
void OnGameSound(Fl_Widget* widget, void*) { OwnerOf(widget)->SendGameSound(); }
void OnGameTest(Fl_Widget* widget, void*) { OwnerOf(widget)->TestGameLink(); }
void OnAmplifierTest(Fl_Widget* widget, void*) { OwnerOf(widget)->TestAmplifier(); }
void OnIpSetup(Fl_Widget* widget, void*) { OwnerOf(widget)->RunIpSetupDialog(); }
void OnDeviceManager(Fl_Widget*, void*) { StartDeviceManager(PlatformCode); }
void OnNetworkConnections(Fl_Widget*, void*) { StartNetworkConnections(PlatformCode); }
void OnCommandPrompt(Fl_Widget*, void*) { StartCommandPrompt(PlatformCode); }

Fl_Button* AddButton(int x, int y, int w, int h, const char* label, Fl_Color colour = FL_BACKGROUND_COLOR) {
  Fl_Button* button = new Fl_Button(x, y, w, h, label);
  button->color(colour);
  return button;
}

}  // namespace

ProbeWindow::ProbeWindow(ProbeState& state) : state_(state) {
  window_ = new Fl_Window(599, 497, "Tavik Comm Check");
  window_->user_data(this);
  window_->callback(OnExit);
  display_ = new Fl_Text_Display(25, 10, 550, 220);
  identity_ = new Fl_Output(30, 240, 285, 25);
  identity_->labeltype(FL_NO_LABEL);
  identity_->color(254);
  BuildButtons();
  window_->end();
  window_->resizable(window_);
  paneDisplay_ = std::make_unique<TextDisplayPane>(display_);
  identityField_ = std::make_unique<OutputIdentityField>(identity_);
  state_.pane.AttachDisplay(paneDisplay_.get());
  state_.identity.AttachField(identityField_.get());
}

void ProbeWindow::BuildButtons() {
  AddButton(30, 268, 285, 25, "Sound Test (this computer)")->callback(OnLocalSound);
  gameSoundButton_ = AddButton(30, 296, 285, 25, "Sound Test (game computer)");
  gameSoundButton_->callback(OnGameSound);
  AddButton(30, 325, 285, 30, "Rescan ports/Tavik config")->callback(OnRescan);
  AddButton(30, 358, 285, 25, GameTestLabel)->callback(OnGameTest);
  AddButton(30, 386, 285, 25, AmplifierTestLabel)->callback(OnAmplifierTest);
  AddButton(340, 380, 255, 30, "Try setting IP address", 133)->callback(OnIpSetup);
  AddButton(410, 240, 145, 35, "Start Device Manager", 175)->callback(OnDeviceManager);
  Fl_Button* network = AddButton(410, 285, 145, 35, "Start Network Connections", 229);
  network->align(FL_ALIGN_WRAP);
  network->callback(OnNetworkConnections);
  AddButton(410, 330, 145, 35, "Start cmd")->callback(OnCommandPrompt);
  AddButton(100, 460, 380, 25, "Done (Exit)", 19)->callback(OnExit);
}

ProbeWindow::~ProbeWindow() {
  state_.pane.AttachDisplay(nullptr);
  state_.identity.AttachField(nullptr);
  paneDisplay_.reset();
  delete window_;
}

void ProbeWindow::SetTitle(const char* title) { window_->label(title); }

void ProbeWindow::SetGameSoundActive(bool active) {
  if (active) {
    gameSoundButton_->activate();
  } else {
    gameSoundButton_->deactivate();
  }
}

void ProbeWindow::Show() { window_->show(); }
void ProbeWindow::Hide() { window_->hide(); }

void ProbeWindow::RequestExit() {
  window_->hide();
  exitRequested_ = true;
}

void ProbeWindow::RescanPortsAndConfig() { ScanPortsAndConfig(state_); }
void ProbeWindow::PlayLocalSound() { PlayLocalRewardSound(); }
void ProbeWindow::SendGameSound() { SendRewardSoundCommand(state_); }
void ProbeWindow::TestGameLink() { TestGameCommunications(state_); }
void ProbeWindow::TestAmplifier() { TestConfiguredAmplifier(state_, 1); }

void ProbeWindow::RunIpSetupDialog() {
  if (ipSetupDialog_) ipSetupDialog_->Run();
}
