// The address change: through NetworkManager's connection profile when NetworkManager manages the
// interface, else with ip (and dhclient or systemd-networkd's own client for DHCP), the configuration of
// systemd-networkd or ifupdown rewritten to match.
#include "sysutil/address_change_linux.h"

#include <algorithm>
#include <sstream>

#include "address_store_linux.h"

namespace {

constexpr int LeaseWaitMilliseconds = 60000;
constexpr int LeasePollMilliseconds = 500;

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string Cidr(const AddressCommand& command) {
  return DottedQuad(command.address) + "/" + std::to_string(command.prefixLength);
}

struct InterfaceAddress {
  std::string cidr;      // "a.b.c.d/n"
  bool dynamic = false;  // leased (it has a lifetime), as DHCP clients add addresses
};

std::vector<InterfaceAddress> CurrentAddresses(const std::string& device, CommandRunner& runner) {
  std::string listing;
  runner.Run({"ip", "-4", "-o", "address", "show", "dev", device}, &listing);
  std::vector<InterfaceAddress> addresses;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    InterfaceAddress address;
    for (std::string word, last; words >> word; last = word) {
      if (last == "inet") address.cidr = word;
      if (word == "dynamic") address.dynamic = true;
    }
    if (!address.cidr.empty()) addresses.push_back(address);
  }
  return addresses;
}

bool Has(const std::vector<InterfaceAddress>& addresses, const std::string& cidr) {
  return std::any_of(addresses.begin(), addresses.end(), [&](const InterfaceAddress& a) { return a.cidr == cidr; });
}

bool AnyDynamic(const std::vector<InterfaceAddress>& addresses) {
  return std::any_of(addresses.begin(), addresses.end(), [](const InterfaceAddress& a) { return a.dynamic; });
}

std::string Listed(const std::vector<InterfaceAddress>& addresses) {
  std::string text;
  for (const InterfaceAddress& a : addresses) text += (text.empty() ? "" : ", ") + a.cidr;
  return text.empty() ? "no address" : text;
}

// One change on one interface: what it had, the programs, and the configuration files touched.
class AddressChange {
 public:
  AddressChange(const AddressCommand& command, const LinuxInterface& target, CommandRunner& runner,
                const std::string& configRoot)
      : command_(command), device_(target.device), index_(target.index), runner_(runner), files_(configRoot),
        inSystemNamespace_(!configRoot.empty()),
        configurator_(configRoot.empty() ? NetworkConfigurator::None
                                         : DetectNetworkConfigurator(device_, index_, runner, configRoot)),
        old_(CurrentAddresses(device_, runner)) {}

  AddressChangeResult Apply() {
    if (configurator_ == NetworkConfigurator::NetworkManager) return WithNetworkManager();
    return command_.dhcp ? StartDhcp() : SetStatic();
  }

 private:
  int Run(const CommandLine& argv) { return runner_.Run(argv, nullptr); }

  AddressChangeResult Result(int status, const std::string& message) const { return {status, message}; }

  AddressChangeResult Unchanged(const std::string& reason) const {
    return Result(AddressUnchanged, reason + "; " + device_ + " keeps " + Listed(old_));
  }

  // Puts the old configuration and addresses back after a failure half-way.
  AddressChangeResult PutBack(const std::string& reason) {
    files_.Restore();
    if (configurator_ == NetworkConfigurator::Networkd) Run({"networkctl", "reload"});
    for (const InterfaceAddress& a : old_) {
      if (!Has(CurrentAddresses(device_, runner_), a.cidr)) Run({"ip", "address", "add", a.cidr, "broadcast", "+", "dev", device_});
    }
    std::vector<InterfaceAddress> now = CurrentAddresses(device_, runner_);
    bool complete = std::all_of(old_.begin(), old_.end(), [&](const InterfaceAddress& a) { return Has(now, a.cidr); });
    if (complete) return Result(AddressRestored, reason + "; the old address of " + device_ + " was put back (" + Listed(old_) + ")");
    return Result(AddressLost, reason + "; the old address of " + device_ + " (" + Listed(old_) +
                                   ") could not be put back: it has " + Listed(now));
  }

  // Writes the change into the configuration of the service that configures the interface.
  bool Store(std::string& error) {
    if (configurator_ == NetworkConfigurator::Networkd) return StoreNetworkdAddress(command_, device_, index_, files_, error);
    if (configurator_ == NetworkConfigurator::Ifupdown) return StoreIfupdownAddress(command_, device_, files_, error);
    return true;
  }

  // How the change lasts, appended to a success.
  AddressChangeResult Done(const std::string& what, bool stored, const std::string& storeError) const {
    if (inSystemNamespace_ && configurator_ == NetworkConfigurator::None)
      return Result(AddressChanged, what + "; no network configuration service configures " + device_ +
                                        ", so it lasts until the next start");
    if (!inSystemNamespace_)
      return Result(AddressChanged, what + "; " + device_ + " is outside the system's network namespace, where no "
                                        "configuration service keeps it, so it lasts until the next start");
    if (!stored)
      return Result(AddressNotKept, what + ", but " + NetworkConfiguratorName(configurator_) +
                                        " will not keep it for the next start: " + storeError);
    return Result(AddressChanged, what + "; " + NetworkConfiguratorName(configurator_) + " keeps it for the next start");
  }

  std::string PidFile() const { return files_.Under("/run/dhclient." + device_ + ".pid"); }

  // A DHCP client that ifupdown (or an earlier change) started would renew its lease over ours. Its
  // script may flush the interface's addresses as it stops, so the new one is checked for afterwards.
  void StopDhcpClient() {
    if (configurator_ == NetworkConfigurator::Networkd || !files_.Exists("/run/dhclient." + device_ + ".pid")) return;
    if (runner_.Installed("dhclient")) Run({"dhclient", "-x", "-pf", PidFile(), device_});
  }

  // With secondaries promoted, removing the old primary address keeps a new one of the same subnet.
  void RemoveOldAddresses(const std::string& keep) {
    Run({"sysctl", "-q", "-w", "net/ipv4/conf/" + device_ + "/promote_secondaries=1"});
    for (const InterfaceAddress& a : old_) {
      if (a.cidr != keep) Run({"ip", "address", "del", a.cidr, "dev", device_});
    }
  }

  // The old addresses that would not go, for the message.
  std::string Leftovers(const std::string& kept) {
    std::vector<InterfaceAddress> left;
    for (const InterfaceAddress& a : CurrentAddresses(device_, runner_)) {
      if (a.cidr != kept && Has(old_, a.cidr)) left.push_back(a);
    }
    return left.empty() ? "" : " (" + Listed(left) + " could not be removed)";
  }

  AddressChangeResult SetStatic() {
    const std::string cidr = Cidr(command_);
    if (!Has(old_, cidr) && Run({"ip", "address", "add", cidr, "broadcast", "+", "dev", device_}) != 0)
      return Unchanged("ip could not add " + cidr);
    Run({"ip", "link", "set", "dev", device_, "up"});
    std::string storeError;
    const bool stored = Store(storeError);
    if (stored && configurator_ == NetworkConfigurator::Networkd) Run({"networkctl", "reload"});
    StopDhcpClient();
    if (!Has(CurrentAddresses(device_, runner_), cidr) &&
        Run({"ip", "address", "add", cidr, "broadcast", "+", "dev", device_}) != 0)
      return PutBack(cidr + " did not stay on " + device_);
    RemoveOldAddresses(cidr);
    if (!Has(CurrentAddresses(device_, runner_), cidr)) Run({"ip", "address", "add", cidr, "broadcast", "+", "dev", device_});
    return Done(device_ + " now has " + cidr + Leftovers(cidr), stored, storeError);
  }

  AddressChangeResult StartDhcp() {
    std::string storeError;
    if (AnyDynamic(old_)) {
      // Already leased, as the network shell finds an interface that has DHCP on: only the stored
      // configuration may need to say so.
      const bool stored = Store(storeError);
      return Done(device_ + " already takes its address from DHCP (" + Listed(old_) + ")", stored, storeError);
    }
    const bool networkd = configurator_ == NetworkConfigurator::Networkd;
    if (!networkd && !runner_.Installed("dhclient")) return Unchanged("no DHCP client (dhclient) is installed");
    const bool stored = Store(storeError);
    if (networkd) {
      if (!stored) return Unchanged(storeError);
      Run({"networkctl", "reload"});
    } else {
      Run({"ip", "link", "set", "dev", device_, "up"});
      Run({"dhclient", "-1", "-pf", PidFile(), "-lf", files_.Under("/var/lib/dhcp/dhclient." + device_ + ".leases"), device_});
    }
    std::vector<InterfaceAddress> now = CurrentAddresses(device_, runner_);
    for (int waited = 0; !AnyDynamic(now) && waited < LeaseWaitMilliseconds; waited += LeasePollMilliseconds) {
      runner_.Pause(LeasePollMilliseconds);
      now = CurrentAddresses(device_, runner_);
    }
    if (!AnyDynamic(now)) return PutBack("no DHCP server answered on " + device_);
    std::string leased;
    for (const InterfaceAddress& a : now) {
      if (a.dynamic) leased = a.cidr;
    }
    RemoveOldAddresses(leased);
    return Done(device_ + " now takes " + leased + " from DHCP" + Leftovers(leased), stored, storeError);
  }

  // The connection active on the interface, else the first profile bound to it by interface name.
  std::string ConnectionUuid(bool& active) {
    std::string uuid;
    runner_.Run({"nmcli", "-g", "GENERAL.CON-UUID", "device", "show", device_}, &uuid);
    active = !FirstLine(uuid).empty();
    if (active) return FirstLine(uuid);
    std::string all;
    if (runner_.Run({"nmcli", "-g", "UUID", "connection", "show"}, &all) != 0) return "";
    std::istringstream lines(all);
    for (std::string candidate; std::getline(lines, candidate);) {
      std::string boundTo;
      if (candidate.empty()) continue;
      runner_.Run({"nmcli", "-g", "connection.interface-name", "connection", "show", candidate}, &boundTo);
      if (FirstLine(boundTo) == device_) return candidate;
    }
    return "";
  }

  AddressChangeResult WithNetworkManager() {
    bool active = false;
    const std::string uuid = ConnectionUuid(active);
    if (uuid.empty()) return Unchanged("NetworkManager has no connection profile for " + device_);
    std::string saved;
    runner_.Run({"nmcli", "-g", "ipv4.method,ipv4.addresses,ipv4.gateway", "connection", "show", uuid}, &saved);
    std::istringstream lines(saved);
    std::string method, addresses, gateway;
    std::getline(lines, method);
    std::getline(lines, addresses);
    std::getline(lines, gateway);
    CommandLine modify = {"nmcli", "connection", "modify", uuid, "ipv4.method", command_.dhcp ? "auto" : "manual",
                          "ipv4.addresses", command_.dhcp ? "" : Cidr(command_), "ipv4.gateway", ""};
    if (Run(modify) != 0) return Unchanged("NetworkManager refused the change of connection " + uuid);
    // Reapplying changes the addresses in place; a profile that is not active yet is brought up.
    const CommandLine activate = active ? CommandLine{"nmcli", "device", "reapply", device_}
                                        : CommandLine{"nmcli", "connection", "up", uuid};
    const std::string what = command_.dhcp ? device_ + " now takes its address from DHCP" : device_ + " now has " + Cidr(command_);
    if (Run(activate) == 0) return Result(AddressChanged, what + "; NetworkManager keeps it in connection " + uuid);
    if (method.empty() ||
        Run({"nmcli", "connection", "modify", uuid, "ipv4.method", method, "ipv4.addresses", addresses, "ipv4.gateway",
             gateway}) != 0 ||
        Run(activate) != 0)
      return Result(AddressLost, "NetworkManager could not apply the change, nor put connection " + uuid +
                                     " back; " + device_ + " has " + Listed(CurrentAddresses(device_, runner_)));
    return Result(AddressRestored, "NetworkManager could not apply the change; connection " + uuid +
                                       " was put back, and " + device_ + " has " + Listed(CurrentAddresses(device_, runner_)));
  }

  const AddressCommand& command_;
  const std::string device_;
  const unsigned index_;
  CommandRunner& runner_;
  ConfigurationFiles files_;
  const bool inSystemNamespace_;
  const NetworkConfigurator configurator_;
  const std::vector<InterfaceAddress> old_;
};

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
  if (device.empty() || device.size() > 15 || device[0] == '-' || device[0] == '.') return false;
  return std::all_of(device.begin(), device.end(), [](unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
  });
}

AddressChangeResult ApplyAddressCommand(const AddressCommand& command, const LinuxInterface& target,
                                        CommandRunner& runner, const std::string& configRoot) {
  return AddressChange(command, target, runner, configRoot).Apply();
}
