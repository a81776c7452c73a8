// The commands that change an interface's IPv4 address, through nmcli or through ip and dhclient.
#include "sysutil/address_change_linux.h"

#include <sstream>

namespace {

constexpr int ApplyFailed = 2;

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// NetworkManager manages the interface when nmcli answers for it with a state other than "unmanaged".
bool ManagedByNetworkManager(const std::string& device, CommandRunner& runner) {
  if (!runner.Installed("nmcli")) return false;
  std::string state;
  if (runner.Run({"nmcli", "-g", "GENERAL.STATE", "device", "show", device}, &state) != 0) return false;
  state = FirstLine(state);
  return !state.empty() && state.find("unmanaged") == std::string::npos && state.rfind("10 ", 0) != 0;
}

// The connection active on the interface, else the first profile bound to it by interface name.
std::string ConnectionUuid(const std::string& device, CommandRunner& runner) {
  std::string uuid;
  runner.Run({"nmcli", "-g", "GENERAL.CON-UUID", "device", "show", device}, &uuid);
  if (!FirstLine(uuid).empty()) return FirstLine(uuid);
  std::string all;
  if (runner.Run({"nmcli", "-g", "UUID", "connection", "show"}, &all) != 0) return "";
  std::istringstream lines(all);
  for (std::string candidate; std::getline(lines, candidate);) {
    std::string boundTo;
    if (candidate.empty()) continue;
    runner.Run({"nmcli", "-g", "connection.interface-name", "connection", "show", candidate}, &boundTo);
    if (FirstLine(boundTo) == device) return candidate;
  }
  return "";
}

int RunAll(const std::vector<CommandLine>& commands, CommandRunner& runner, std::string& error) {
  for (const CommandLine& argv : commands) {
    int status = runner.Run(argv, nullptr);
    if (status != 0) {
      error = argv[0] + " " + argv[1] + " failed (status " + std::to_string(status) + ")";
      return ApplyFailed;
    }
  }
  return 0;
}

int ApplyWithNetworkManager(const AddressCommand& command, const std::string& device, CommandRunner& runner,
                            std::string& error) {
  std::string uuid = ConnectionUuid(device, runner);
  if (uuid.empty()) {
    error = "NetworkManager has no connection profile for " + device;
    return ApplyFailed;
  }
  CommandLine modify = {"nmcli", "connection", "modify", uuid};
  if (command.dhcp) {
    modify.insert(modify.end(), {"ipv4.method", "auto", "ipv4.addresses", "", "ipv4.gateway", ""});
  } else {
    std::string cidr = DottedQuad(command.address) + "/" + std::to_string(command.prefixLength);
    modify.insert(modify.end(), {"ipv4.method", "manual", "ipv4.addresses", cidr, "ipv4.gateway", ""});
  }
  return RunAll({modify, {"nmcli", "connection", "up", uuid}}, runner, error);
}

int ApplyWithIp(const AddressCommand& command, const std::string& device, CommandRunner& runner,
                std::string& error) {
  std::string pidFile = "/run/dhclient." + device + ".pid";
  std::string leaseFile = "/var/lib/dhcp/dhclient." + device + ".leases";
  bool haveDhclient = runner.Installed("dhclient");
  if (command.dhcp && !haveDhclient) {
    error = "no DHCP client (dhclient) is installed; the address of " + device + " is unchanged";
    return ApplyFailed;
  }
  std::vector<CommandLine> commands;
  if (haveDhclient && runner.FileExists(pidFile)) {
    commands.push_back({"dhclient", "-x", "-pf", pidFile, device});
  }
  commands.push_back({"ip", "-4", "address", "flush", "dev", device});
  if (!command.dhcp) {
    std::string cidr = DottedQuad(command.address) + "/" + std::to_string(command.prefixLength);
    commands.push_back({"ip", "address", "add", cidr, "broadcast", "+", "dev", device});
  }
  commands.push_back({"ip", "link", "set", "dev", device, "up"});
  if (command.dhcp) commands.push_back({"dhclient", "-nw", "-pf", pidFile, "-lf", leaseFile, device});
  return RunAll(commands, runner, error);
}

}  // namespace

const LinuxInterface* FindInterfaceByName(const std::vector<LinuxInterface>& interfaces, const std::string& name) {
  for (const LinuxInterface& i : interfaces) {
    if (i.friendlyName == name) return &i;
  }
  for (const LinuxInterface& i : interfaces) {
    if (i.device == name) return &i;
  }
  return nullptr;
}

bool IsPlainDeviceName(const std::string& device) {
  if (device.empty() || device.size() > 15 || device[0] == '-') return false;
  for (unsigned char c : device) {
    if (c <= ' ' || c == '/' || c == 0x7f) return false;
  }
  return true;
}

int ApplyAddressCommand(const AddressCommand& command, const std::string& device, CommandRunner& runner,
                        std::string& error) {
  if (ManagedByNetworkManager(device, runner)) return ApplyWithNetworkManager(command, device, runner, error);
  return ApplyWithIp(command, device, runner, error);
}
