// tavik-setip: the address helper that the IP set-up dialog runs with elevated rights in place of the
// network shell. It takes the shell's parameter text (as one argument or as several words), checks it,
// and changes the named interface's IPv4 address, new address first, old ones after; its exit status
// (see address_change_linux.h) and its message say whether the address changed, stayed, or was put back.
// The message also goes to the system's log under tavik-setip, since no one may see the terminal.
// Running as root, it takes nothing from its environment: its own umask, /sys itself, programs from
// fixed places.
#include <sys/stat.h>

#include <cstdio>

#include "platform/system_log.h"
#include "setip/address_change_linux.h"

namespace {

const char* const NetClassFolder = "/sys/class/net";

// Folders the helper makes are 0755 and new files 0644, whatever its caller's umask was.
constexpr mode_t HelperUmask = 022;

// How the system's log ranks each exit status, in the order of the statuses.
constexpr SystemLogLevel StatusLogLevels[] = {
    SystemLogLevel::Notice,   // AddressChanged
    SystemLogLevel::Warning,  // AddressBadParameters
    SystemLogLevel::Error,    // AddressUnchanged
    SystemLogLevel::Error,    // AddressRestored
    SystemLogLevel::Error,    // AddressLost
    SystemLogLevel::Warning,  // AddressNotKept
};

std::string JoinArguments(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) text += (i > 1 ? " " : "") + std::string(argv[i]);
  return text;
}

// Says how the request ended, on the terminal and in the system's log, and returns the exit status.
int Report(const AddressChangeResult& result) {
  std::fprintf(result.status == AddressChanged ? stdout : stderr, "tavik-setip: %s\n", result.message.c_str());
  WriteSystemLog(StatusLogLevels[result.status], result.message);
  return result.status;
}

int Refuse(const std::string& reason) { return Report({AddressBadParameters, reason + "; nothing was changed"}); }

}  // namespace

int main(int argc, char** argv) {
  umask(HelperUmask);
  AddressCommand command;
  std::string error;
  if (!ParseAddressCommand(JoinArguments(argc, argv), command, error)) return Refuse(error);
  std::vector<LinuxInterface> interfaces;
  if (!ReadLinuxInterfaces(NetClassFolder, interfaces))
    return Report({AddressUnchanged, "cannot read " + std::string(NetClassFolder) + "; nothing was changed"});
  const LinuxInterface* target = FindOfferedInterface(interfaces, command.adapterName, error);
  if (!target) return Refuse(error);
  if (!IsPlainDeviceName(target->device))
    return Refuse("the interface name \"" + target->device + "\" is not safe to use");
  SystemCommandRunner runner;
  return Report(ApplyAddressCommand(command, *target, runner, HelperConfigurationRoot()));
}
