// The IP set-up dialog's widgets in both geometries, its refresh loop and its actions; the checks and
// the address change itself are in ip_setup.cpp.
#include "netsetup_ui/ip_setup_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>

#include <chrono>
#include <cstdint>
#include <memory>
#include <utility>

#include "appbase/painted_wait.h"
#include "sysutil/host_address.h"
#include "netsetup/ip_setup.h"
#include "netsetup/network_shell.h"
#include "window_platform/window_handle.h"

namespace {

constexpr double RefreshSeconds = 0.3;
constexpr auto AddressPollPause = std::chrono::milliseconds(50);

struct Box {
  int x, y, w, h;
};

// The geometry of one layout, in the order the widgets are created.
struct DialogGeometry {
  int width, height;
  Box title;
  const char* titleText;
  Box adapterGroup;
  Box adapters[IpSetupAdapterButtons];
  bool downBoxOnAllAdapters;
  Box roleGroup, client, therapist, dhcp, group, tryButton, doneButton, output;
};

const DialogGeometry ProbeGeometry = {521,
                                      574,
                                      {20, 10, 380, 40},
                                      "Tavik uses 192.168.nn.yy  for 2-computer communication",
                                      {25, 80, 482, 225},
                                      {{48, 90, 435, 25},
                                       {48, 126, 435, 25},
                                       {48, 162, 435, 25},
                                       {48, 198, 435, 25},
                                       {48, 234, 435, 25},
                                       {48, 270, 435, 25}},
                                      true,
                                      {85, 315, 225, 100},
                                      {85, 315, 170, 25},
                                      {85, 355, 170, 25},
                                      {85, 390, 225, 25},
                                      {365, 320, 55, 25},
                                      {215, 425, 130, 40},
                                      {217, 480, 125, 35},
                                      {40, 45, 340, 25}};

const DialogGeometry ToolboardGeometry = {632,
                                          557,
                                          {20, 5, 445, 35},
                                          "Tavik usually uses 192.168.nn.yy  for 2-computer communication",
                                          {41, 80, 467, 225},
                                          {{62, 90, 435, 25},
                                           {62, 126, 435, 25},
                                           {62, 162, 435, 25},
                                           {61, 198, 435, 25},
                                           {60, 234, 435, 25},
                                           {61, 270, 435, 25}},
                                          false,
                                          {104, 325, 225, 100},
                                          {104, 325, 170, 25},
                                          {104, 365, 170, 25},
                                          {104, 400, 225, 25},
                                          {384, 330, 55, 25},
                                          {234, 435, 130, 40},
                                          {234, 485, 130, 35},
                                          {40, 45, 340, 25}};

const DialogGeometry& GeometryOf(IpSetupLayout layout) {
  return layout == IpSetupLayout::Probe ? ProbeGeometry : ToolboardGeometry;
}

Fl_Check_Button* RoleButton(const Box& b, const char* label) {
  auto* button = new Fl_Check_Button(b.x, b.y, b.w, b.h, label);
  button->type(FL_RADIO_BUTTON);
  button->box(FL_UP_BOX);
  button->down_box(FL_DOWN_BOX);
  return button;
}

// The system behind the dialog's address change: the toolkit's beep, the host address line, the
// elevated network shell (its consent prompt owned by the dialog) and the clock.
class DialogSystem : public IpSetupSystem {
 public:
  explicit DialogSystem(const Fl_Window* dialog) : owner_(WindowHandleNumber(dialog)) {}
  void Beep() override { fl_beep(FL_BEEP_ERROR); }
  std::string RefreshHostAddress() override {
    GetHostAddressLine();
    return ExtractHostAddress();
  }
  void RunNetworkShell(const std::string& parameters) override { ::RunNetworkShell(parameters, owner_); }
  long NowSeconds() override {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(now).count());
  }
  void Pause() override { PauseKeepingWindowsPainted(AddressPollPause); }

 private:
  std::uintptr_t owner_;
};

}  // namespace

IpSetupDialog::IpSetupDialog(IpSetupLayout layout, IpSetupHost host) : host_(std::move(host)) {
  const DialogGeometry& g = GeometryOf(layout);
  window_ = new Fl_Window(g.width, g.height, "IP setup");
  window_->user_data(this);
  window_->callback(OnClose);
  new Fl_Box(g.title.x, g.title.y, g.title.w, g.title.h, g.titleText);
  BuildChoices(layout);
  BuildActions(layout);
  window_->end();
}

IpSetupDialog::~IpSetupDialog() { delete window_; }

void IpSetupDialog::BuildChoices(IpSetupLayout layout) {
  const DialogGeometry& g = GeometryOf(layout);
  auto* adapters = new Fl_Group(g.adapterGroup.x, g.adapterGroup.y, g.adapterGroup.w, g.adapterGroup.h);
  adapters->box(FL_FLAT_BOX);
  adapters->color(207);
  for (int i = 0; i < IpSetupAdapterButtons; ++i) {
    const Box& b = g.adapters[i];
    adapterButtons_[i] = new Fl_Button(b.x, b.y, b.w, b.h);
    adapterButtons_[i]->type(FL_RADIO_BUTTON);
    if (i == 0 || g.downBoxOnAllAdapters) adapterButtons_[i]->down_box(FL_DOWN_BOX);
  }
  adapters->end();
  auto* roles = new Fl_Group(g.roleGroup.x, g.roleGroup.y, g.roleGroup.w, g.roleGroup.h);
  clientButton_ = RoleButton(g.client, "Client (game) yy=2");
  therapistButton_ = RoleButton(g.therapist, "Therapist       yy=1");
  dhcpButton_ = RoleButton(g.dhcp, "Reset to automatic (DHCP)");
  roles->end();
}

void IpSetupDialog::BuildActions(IpSetupLayout layout) {
  const DialogGeometry& g = GeometryOf(layout);
  groupInput_ = new Fl_Input(g.group.x, g.group.y, g.group.w, g.group.h, "IP group = nn");
  groupInput_->type(FL_INT_INPUT);
  groupInput_->color(246);
  auto* tryButton = new Fl_Button(g.tryButton.x, g.tryButton.y, g.tryButton.w, g.tryButton.h, "Try Setting Address");
  tryButton->color(93);
  tryButton->callback(OnTry);
  auto* doneButton = new Fl_Button(g.doneButton.x, g.doneButton.y, g.doneButton.w, g.doneButton.h, "Done");
  doneButton->color(22);
  doneButton->callback(OnClose);
  output_ = new Fl_Output(g.output.x, g.output.y, g.output.w, g.output.h, "output:");
  output_->labeltype(FL_NO_LABEL);
}

IpSetupDialog* IpSetupDialog::Of(Fl_Widget* widget) {
  Fl_Window* window = widget->as_window() ? widget->as_window() : widget->window();
  return static_cast<IpSetupDialog*>(window->user_data());
}

void IpSetupDialog::OnTry(Fl_Widget* widget, void*) { Of(widget)->TrySetIpAddress(); }

void IpSetupDialog::OnClose(Fl_Widget* widget, void*) { Of(widget)->Close(); }

void IpSetupDialog::ShowAdapters() {
  for (int i = 0; i < IpSetupAdapterButtons; ++i) {
    const NetworkAdapterEntry& entry = table_[i];
    Fl_Button* button = adapterButtons_[i];
    if (entry.state != AdapterNone && entry.wired) {
      button->activate();
    } else {
      if (entry.state == AdapterNone) button->value(0);
      button->deactivate();
    }
    button->label(entry.label);
    button->redraw();
  }
}

void IpSetupDialog::Run() {
  if (host_.hideMainWindow) host_.hideMainWindow();
  groupInput_->value("10");
  clientButton_->value(0);
  therapistButton_->value(0);
  if (host_.stationRole.rfind("T", 0) == 0) therapistButton_->value(1);
  if (host_.stationRole.rfind("G", 0) == 0) clientButton_->value(1);
  output_->value(LastHostAddressLine());
  window_->show();
  while (window_->shown()) {
    output_->value(GetHostAddressLine());
    table_ = ListNetworkAdapters();
    if (!table_) {
      Close();
      break;
    }
    ShowAdapters();
    Fl::wait(RefreshSeconds);
  }
}

void IpSetupDialog::TrySetIpAddress() {
  IpSetupRequest request;
  request.groupText = groupInput_->value();
  if (clientButton_->value()) {
    request.role = IpRole::Client;
  } else if (therapistButton_->value()) {
    request.role = IpRole::Therapist;
  } else if (dhcpButton_->value()) {
    request.role = IpRole::Dhcp;
  }
  for (int i = 0; i < IpSetupAdapterButtons && request.adapter < 0; ++i) {
    if (adapterButtons_[i]->value()) request.adapter = i;
  }
  request.table = table_;
  DialogSystem system(window_);
  if (TrySetIpAddressWith(request, system) != IpSetupOutcome::Waited) return;
  output_->value(LastHostAddressLine());
  if (host_.showHostAddress) host_.showHostAddress(LastHostAddressLine());
}

void IpSetupDialog::Close() {
  window_->hide();
  if (host_.showMainWindow) host_.showMainWindow();
  if (host_.showHostAddress) host_.showHostAddress(LastHostAddressLine());
}
