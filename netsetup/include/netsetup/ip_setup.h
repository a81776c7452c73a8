// What "Try Setting Address" of the IP set-up dialog does, without the dialog: the checks of the
// technician's choices, the network shell's parameter text and the wait for the new address.
#pragma once

#include <string>

#include "netsetup/address_command.h"
#include "netsetup/network_adapters.h"

constexpr int IpSetupAdapterButtons = 6;

enum class IpRole { None, Client, Therapist, Dhcp };

// The dialog's state when "Try Setting Address" is pressed.
struct IpSetupRequest {
  const char* groupText = "";
  IpRole role = IpRole::None;
  int adapter = -1;                            // the first picked adapter button (0 to 5), -1 when none
  const NetworkAdapterEntry* table = nullptr;  // the dialog's last listing, nullptr before the first
};

// The facilities the address change needs; the dialog passes the system's own, tests their fakes.
class IpSetupSystem {
 public:
  virtual ~IpSetupSystem() = default;
  virtual void Beep() = 0;
  // Refreshes the host address line and returns the address it names.
  virtual std::string RefreshHostAddress() = 0;
  // Hands the parameter text to the network shell with elevated rights; does not wait for it.
  virtual void RunNetworkShell(const std::string& parameters) = 0;
  virtual long NowSeconds() = 0;
  // A short rest between two looks at the address, so the wait does not occupy a processor.
  virtual void Pause() = 0;
};

enum class IpSetupOutcome {
  Refused,  // bad input: the beep was given, nothing ran
  NoTable,  // no adapter listing yet: nothing happened
  Waited,   // the command (if any) ran and the wait for the new address ended
};

IpSetupOutcome TrySetIpAddressWith(const IpSetupRequest& request, IpSetupSystem& system);

// The network shell's parameter text for the role, empty when the computer already has the role's
// address in group 10. For DHCP `oldAddress` becomes "127.0.0.2", so any real address ends the wait.
std::string NetshParameters(IpRole role, int group, const std::string& adapterName, std::string& oldAddress);
