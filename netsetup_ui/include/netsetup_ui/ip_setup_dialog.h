// The IP set-up dialog: pick a wired adapter and a role (game client, therapist or DHCP) and have the
// address set. Each program builds one, hidden, at start-up; its main window's "Try setting IP address"
// runs it.
#pragma once

#include <functional>
#include <string>

#include "netsetup/network_adapters.h"

class Fl_Button;
class Fl_Check_Button;
class Fl_Input;
class Fl_Output;
class Fl_Widget;
class Fl_Window;

// The dialog's geometry: linkprobe's or toolboard's.
enum class IpSetupLayout { Probe, Toolboard };

// What the dialog needs of the program's main window.
struct IpSetupHost {
  std::function<void()> hideMainWindow;
  std::function<void()> showMainWindow;
  std::function<void(const char*)> showHostAddress;  // the main window's identity box
  std::string stationRole;                           // "Therapist", "Game" or empty
};

class IpSetupDialog {
 public:
  IpSetupDialog(IpSetupLayout layout, IpSetupHost host);
  ~IpSetupDialog();
  IpSetupDialog(const IpSetupDialog&) = delete;
  IpSetupDialog& operator=(const IpSetupDialog&) = delete;

  // Hides the main window, shows the dialog and refreshes it about three times a second until it is
  // closed; returns then.
  void Run();
  // "Try Setting Address".
  void TrySetIpAddress();
  // "Done" and the close box: hides the dialog and brings the main window back.
  void Close();

  Fl_Window* Window() const { return window_; }

 private:
  void BuildChoices(IpSetupLayout layout);
  void BuildActions(IpSetupLayout layout);
  void ShowAdapters();
  static IpSetupDialog* Of(Fl_Widget* widget);
  static void OnTry(Fl_Widget* widget, void*);
  static void OnClose(Fl_Widget* widget, void*);

  IpSetupHost host_;
  Fl_Window* window_ = nullptr;
  Fl_Button* adapterButtons_[6] = {};
  Fl_Check_Button* clientButton_ = nullptr;
  Fl_Check_Button* therapistButton_ = nullptr;
  Fl_Check_Button* dhcpButton_ = nullptr;
  Fl_Input* groupInput_ = nullptr;
  Fl_Output* output_ = nullptr;
  const NetworkAdapterEntry* table_ = nullptr;  // the last listing, nullptr until one succeeded
};
