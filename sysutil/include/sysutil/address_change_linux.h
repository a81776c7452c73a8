// How the address helper puts a checked address command into effect on a Linux interface: through
// NetworkManager when it manages the interface, else with ip (and dhclient for DHCP).
#pragma once

#include <string>
#include <vector>

#include "sysutil/address_command.h"
#include "sysutil/network_interfaces_linux.h"

using CommandLine = std::vector<std::string>;

// Runs programs for the helper; tests record instead.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  // Runs the argument vector (no shell) and returns its exit status, -1 when it could not start.
  // When `output` is given it receives what the program wrote to its standard output.
  virtual int Run(const CommandLine& argv, std::string* output) = 0;
  virtual bool Installed(const std::string& program) = 0;
  virtual bool FileExists(const std::string& path) = 0;
};

// The interface whose friendly name (or, failing that, kernel name) is `name`; nullptr when none.
const LinuxInterface* FindInterfaceByName(const std::vector<LinuxInterface>& interfaces, const std::string& name);

// A kernel interface name that is safe as a word of a command: 1 to 15 characters, no blank, no
// slash, no leading "-".
bool IsPlainDeviceName(const std::string& device);

// Applies `command` to `device`. Returns 0 on success, else 2 with `error` saying what failed.
int ApplyAddressCommand(const AddressCommand& command, const std::string& device, CommandRunner& runner,
                        std::string& error);
