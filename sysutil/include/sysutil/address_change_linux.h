// How the address helper puts a checked address command into effect on a Linux interface, without ever
// leaving it with no address on the way: the new address is in place before the old ones go, and a
// change that fails puts the old address back. The change is kept the way the service that configures
// the interface keeps addresses (NetworkManager, systemd-networkd or ifupdown).
#pragma once

#include <string>
#include <vector>

#include "sysutil/address_command.h"
#include "sysutil/command_runner_linux.h"
#include "sysutil/network_interfaces_linux.h"

// The helper's exit statuses; its message says the same in words.
constexpr int AddressChanged = 0;        // the new address is in place (and kept, unless none keeps any)
constexpr int AddressBadParameters = 1;  // nothing was done
constexpr int AddressUnchanged = 2;      // the change failed before the old address was touched
constexpr int AddressRestored = 3;       // the change failed half-way; the old address was put back
constexpr int AddressLost = 4;           // the change failed and the old address could not be put back
constexpr int AddressNotKept = 5;        // the new address is in place, but will not survive a restart

struct AddressChangeResult {
  int status = AddressChanged;
  std::string message;  // what happened, for the technician
};

// The interface that the IP set-up dialog lets the technician pick under the name `name`: listed by the
// adapter listing's rule among the dialog's first adapters, and wired. nullptr, with `why`, otherwise.
const LinuxInterface* FindOfferedInterface(const std::vector<LinuxInterface>& interfaces, const std::string& name,
                                           std::string& why);

// A kernel interface name that is safe in a command and in a configuration file: 1 to 15 letters,
// digits, '_', '-' and '.', not beginning with '-' or '.'.
bool IsPlainDeviceName(const std::string& device);

// Where the system's configuration lives for this run of the helper: "/" when it runs in the system's
// network namespace, whose interfaces the configuration services keep; empty in any other (a container's,
// a test's); in a build with its tests, run from its build folder, the folder that TAVIK_SETIP_CONFIG_ROOT
// names.
std::string HelperConfigurationRoot();

// Applies `command` to `target`. `configRoot` is where the system's configuration lives ("/"); empty
// when the interface belongs to no configuration service (it is in a network namespace of its own), so
// that the change is made at run time only.
AddressChangeResult ApplyAddressCommand(const AddressCommand& command, const LinuxInterface& target,
                                        CommandRunner& runner, const std::string& configRoot);
