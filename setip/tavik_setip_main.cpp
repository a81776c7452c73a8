// tavik-setip: the address helper that the IP set-up dialog runs with elevated rights in place of the
// network shell. It takes the shell's parameter text (as one argument or as several words), checks it,
// and changes the named interface's IPv4 address, new address first, old ones after; its exit status
// (see address_change_linux.h) and its message say whether the address changed, stayed, or was put back.
// Running as root, it takes nothing from its environment: /sys itself, programs from fixed places.
#include <sys/stat.h>

#include <cstdio>

#include "sysutil/address_change_linux.h"

namespace {

const char* const NetClassFolder = "/sys/class/net";

std::string JoinArguments(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) text += (i > 1 ? " " : "") + std::string(argv[i]);
  return text;
}

// The system's configuration services serve the network namespace of the first process; an interface
// in another one (a container's, a test's) is theirs to keep only when that can be established.
bool InSystemNetworkNamespace() {
  struct stat own, first;
  return stat("/proc/self/ns/net", &own) == 0 && stat("/proc/1/ns/net", &first) == 0 && own.st_dev == first.st_dev &&
         own.st_ino == first.st_ino;
}

int Refuse(const std::string& reason) {
  std::fprintf(stderr, "tavik-setip: %s\n", reason.c_str());
  return AddressBadParameters;
}

}  // namespace

int main(int argc, char** argv) {
  AddressCommand command;
  std::string error;
  if (!ParseAddressCommand(JoinArguments(argc, argv), command, error)) return Refuse(error);
  std::vector<LinuxInterface> interfaces;
  if (!ReadLinuxInterfaces(NetClassFolder, interfaces)) {
    std::fprintf(stderr, "tavik-setip: cannot read %s; nothing was changed\n", NetClassFolder);
    return AddressUnchanged;
  }
  const LinuxInterface* target = FindInterfaceByName(interfaces, command.adapterName);
  if (!target) return Refuse("no network interface named \"" + command.adapterName + "\"");
  if (!IsPlainDeviceName(target->device)) return Refuse("the interface name \"" + target->device + "\" is not safe to use");
  if (target->loopback) return Refuse("the loopback interface keeps its address");
  SystemCommandRunner runner;
  AddressChangeResult result = ApplyAddressCommand(command, *target, runner, InSystemNetworkNamespace() ? "/" : "");
  std::fprintf(result.status == AddressChanged ? stdout : stderr, "tavik-setip: %s\n", result.message.c_str());
  return result.status;
}
