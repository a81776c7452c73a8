// The checks, parameter texts and address wait of "Try Setting Address".
#include "sysutil/ip_setup.h"

#include <cstdlib>

#include "sysutil/address_command.h"

namespace {

constexpr int WaitSeconds = 10;
constexpr std::size_t OldAddressLimit = 100;

std::string StaticParameters(const std::string& adapterName, int group, int host) {
  return "interface ip set address name=\"" + adapterName + "\" static 192.168." + std::to_string(group) +
         "." + std::to_string(host) + " 255.255.255.0 ";
}

void WaitForNewAddress(const std::string& oldAddress, IpSetupSystem& system) {
  long deadline = system.NowSeconds() + WaitSeconds;
  while (system.NowSeconds() < deadline) {
    std::string address = system.RefreshHostAddress();
    if (address != "127.0.0.1" && address != oldAddress) return;
    system.Pause();
  }
}

}  // namespace

bool IsQuotableAdapterName(const char* name) {
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(name); *c; ++c) {
    if (*c == '"' || *c < 0x20 || *c == 0x7f) return false;
  }
  return true;
}

std::string NetshParameters(IpRole role, int group, const std::string& adapterName, std::string& oldAddress) {
  if (role == IpRole::Client) {
    return oldAddress == "192.168.10.2" ? "" : StaticParameters(adapterName, group, ClientHost);
  }
  if (role != IpRole::Therapist) {
    oldAddress = "127.0.0.2";
    return "interface ip set address \"" + adapterName + "\" dhcp";
  }
  return oldAddress == "192.168.10.1" ? "" : StaticParameters(adapterName, group, TherapistHost);
}

IpSetupOutcome TrySetIpAddressWith(const IpSetupRequest& request, IpSetupSystem& system) {
  int group = std::atoi(request.groupText);
  if (group < FirstAddressGroup || group > LastAddressGroup || request.role == IpRole::None || request.adapter < 0) {
    system.Beep();
    return IpSetupOutcome::Refused;
  }
  if (!request.table) return IpSetupOutcome::NoTable;
  const char* name = request.table[request.adapter].name;
  std::string oldAddress = system.RefreshHostAddress().substr(0, OldAddressLimit);
  std::string parameters = NetshParameters(request.role, group, name, oldAddress);
  if (!IsQuotableAdapterName(name) || parameters.size() > NetshParameterLimit) {
    system.Beep();
    return IpSetupOutcome::Refused;
  }
  if (!parameters.empty()) system.RunNetworkShell(parameters);
  WaitForNewAddress(oldAddress, system);
  return IpSetupOutcome::Waited;
}
