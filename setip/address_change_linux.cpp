// The address change: through NetworkManager's connection profile when NetworkManager manages the
// interface, else with ip (and dhclient or systemd-networkd's own client for DHCP), the configuration of
// systemd-networkd or ifupdown rewritten to match.
#include "setip/address_change_linux.h"

#include <sys/stat.h>

#include <algorithm>
#include <sstream>

#include "address_store_linux.h"
#include "netsetup/elevation_stand_in.h"
#include "netsetup/ip_setup.h"

namespace {

constexpr int LeaseWaitMilliseconds = 60000;
constexpr int LeasePollMilliseconds = 500;

// What each service that configures an interface takes part in a change.
struct ConfiguratorRole {
  NetworkConfigurator configurator;
  const char* name;  // as a technician knows it
  // Writes the change into the service's configuration; nullptr where the helper keeps nothing for it.
  bool (*store)(const AddressCommand& command, const std::string& device, unsigned index, ConfigurationFiles& files,
                std::string& error);
  CommandLine reload;   // makes the service read its configuration again; empty when it needs nothing
  bool ownsDhcpClient;  // it runs the interface's DHCP client, so the helper starts and stops none
  bool throughProfile;  // the whole change goes through the service's connection profile
};

bool StoreForIfupdown(const AddressCommand& command, const std::string& device, unsigned /* ifupdown names it */,
                      ConfigurationFiles& files, std::string& error) {
  return StoreIfupdownAddress(command, device, files, error);
}

const ConfiguratorRole ConfiguratorRoles[] = {
    {NetworkConfigurator::None, "no network configuration service", nullptr, {}, false, false},
    {NetworkConfigurator::NetworkManager, "NetworkManager", nullptr, {}, true, true},
    {NetworkConfigurator::Networkd, "systemd-networkd", StoreNetworkdAddress, {"networkctl", "reload"}, true, false},
    {NetworkConfigurator::Ifupdown, "ifupdown", StoreForIfupdown, {}, false, false},
};

const ConfiguratorRole& RoleOf(NetworkConfigurator configurator) {
  for (const ConfiguratorRole& role : ConfiguratorRoles) {
    if (role.configurator == configurator) return role;
  }
  return ConfiguratorRoles[0];
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string Cidr(const AddressCommand& command) {
  return DottedQuad(command.address) + "/" + std::to_string(command.prefixLength);
}

struct InterfaceAddress {
  std::string cidr;      // "a.b.c.d/n"
  bool dynamic = false;  // leased (it has a lifetime), as DHCP clients add addresses
};

// The interface's IPv4 addresses as ip lists them; false when ip could not list them.
bool ReadAddresses(const std::string& device, CommandRunner& runner, std::vector<InterfaceAddress>& addresses) {
  std::string listing;
  addresses.clear();
  if (runner.Run({"ip", "-4", "-o", "address", "show", "dev", device}, &listing) != 0) return false;
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
  return true;
}

bool Has(const std::vector<InterfaceAddress>& addresses, const std::string& cidr) {
  return std::any_of(addresses.begin(), addresses.end(), [&](const InterfaceAddress& a) { return a.cidr == cidr; });
}

bool SameAddresses(const std::vector<InterfaceAddress>& a, const std::vector<InterfaceAddress>& b) {
  return a.size() == b.size() &&
         std::all_of(a.begin(), a.end(), [&](const InterfaceAddress& x) { return Has(b, x.cidr); });
}

bool AnyDynamic(const std::vector<InterfaceAddress>& addresses) {
  return std::any_of(addresses.begin(), addresses.end(), [](const InterfaceAddress& a) { return a.dynamic; });
}

std::string Listed(const std::vector<InterfaceAddress>& addresses) {
  std::string text;
  for (const InterfaceAddress& a : addresses) text += (text.empty() ? "" : ", ") + a.cidr;
  return text.empty() ? "no address" : text;
}

// One change on one interface: what it had, the programs, and the configuration files touched. It ends
// with exactly the new address, with the old addresses back and the new one gone, or saying that the old
// addresses could not be put back; never with both, nor with a success that ip does not show.
class AddressChange {
 public:
  AddressChange(const AddressCommand& command, const LinuxInterface& target, CommandRunner& runner,
                const std::string& configRoot)
      : command_(command),
        device_(target.device),
        index_(target.index),
        runner_(runner),
        files_(configRoot),
        inSystemNamespace_(!configRoot.empty()),
        configurator_(RoleOf(configRoot.empty() ? NetworkConfigurator::None
                                                : DetectNetworkConfigurator(device_, index_, runner, configRoot))) {}

  AddressChangeResult Apply() {
    if (!ReadAddresses(device_, runner_, old_))
      return Result(AddressUnchanged, "ip could not list the addresses of " + device_ + "; nothing was changed");
    if (configurator_.throughProfile) return WithNetworkManager();
    return command_.dhcp ? StartDhcp() : SetStatic();
  }

 private:
  int Run(const CommandLine& argv) { return runner_.Run(argv, nullptr); }
  void Reload() {
    if (!configurator_.reload.empty()) Run(configurator_.reload);
  }
  int AddAddress(const std::string& cidr) {
    return Run({"ip", "address", "add", cidr, "broadcast", "+", "dev", device_});
  }

  AddressChangeResult Result(int status, const std::string& message) const { return {status, message}; }

  AddressChangeResult Unchanged(const std::string& reason) const {
    return Result(AddressUnchanged, reason + "; " + device_ + " keeps " + Listed(old_));
  }

  // What the interface has now, for a message.
  std::string NowListed() {
    std::vector<InterfaceAddress> now;
    return ReadAddresses(device_, runner_, now) ? Listed(now) : "addresses that ip could not list";
  }

  // Puts the old configuration and exactly the old addresses back after a failure half-way.
  AddressChangeResult PutBack(const std::string& reason) {
    files_.Restore();
    Reload();
    if (dhcpClientStarted_) Run({"dhclient", "-x", "-pf", PidFile(), device_});
    std::vector<InterfaceAddress> now;
    if (!ReadAddresses(device_, runner_, now)) now = added_;  // at least what this change put there
    for (const InterfaceAddress& a : now) {
      if (!Has(old_, a.cidr)) Run({"ip", "address", "del", a.cidr, "dev", device_});
    }
    for (const InterfaceAddress& a : old_) {
      if (!Has(now, a.cidr)) AddAddress(a.cidr);
    }
    const std::string old = Listed(old_);
    if (!ReadAddresses(device_, runner_, now))
      return Result(AddressLost, reason + "; putting the old address of " + device_ + " (" + old +
                                     ") back, ip could not list its addresses: it may not be back");
    if (SameAddresses(now, old_))
      return Result(AddressRestored, reason + "; the old address of " + device_ + " was put back (" + old + ")");
    return Result(AddressLost, reason + "; the old address of " + device_ + " (" + old +
                                   ") could not be put back: it has " + Listed(now));
  }

  // Writes the change into the configuration of the service that configures the interface. A change
  // that cannot be written whole leaves the configuration as it was.
  bool Store(std::string& error) {
    const bool stored = !configurator_.store || configurator_.store(command_, device_, index_, files_, error);
    if (!stored) files_.Restore();
    return stored;
  }

  // How the change lasts, appended to a success.
  AddressChangeResult Done(const std::string& what, bool stored, const std::string& storeError) const {
    if (inSystemNamespace_ && !configurator_.store)
      return Result(AddressChanged, what + "; no network configuration service configures " + device_ +
                                        ", so it lasts until the next start");
    if (!inSystemNamespace_)
      return Result(AddressChanged, what + "; " + device_ +
                                        " is outside the system's network namespace, where no "
                                        "configuration service keeps it, so it lasts until the next start");
    if (!stored)
      return Result(AddressNotKept,
                    what + ", but " + configurator_.name + " will not keep it for the next start: " + storeError);
    return Result(AddressChanged, what + "; " + configurator_.name + " keeps it for the next start");
  }

  // A change whose new address is `kept` ends here: done when the interface shows exactly that address,
  // else put back. A static address that went with the old ones (a DHCP client's script flushing the
  // interface as it stopped, the old primary taking its secondaries along) is added once more.
  AddressChangeResult Settle(const std::string& kept, bool addAgain, const std::string& what, bool stored,
                             const std::string& storeError) {
    std::vector<InterfaceAddress> now;
    const std::string unread = "ip could not list the addresses of " + device_ + " after the change";
    if (!ReadAddresses(device_, runner_, now)) return PutBack(unread);
    if (!Has(now, kept) && addAgain && AddAddress(kept) == 0 && !ReadAddresses(device_, runner_, now))
      return PutBack(unread);
    if (!Has(now, kept)) return PutBack(kept + " did not stay on " + device_);
    now.erase(std::remove_if(now.begin(), now.end(), [&](const InterfaceAddress& a) { return a.cidr == kept; }),
              now.end());
    if (!now.empty()) return PutBack(Listed(now) + " could not be removed from " + device_);
    return Done(what, stored, storeError);
  }

  std::string PidFile() const { return files_.Under("/run/dhclient." + device_ + ".pid"); }

  // A DHCP client that ifupdown (or an earlier change) started would renew its lease over ours.
  void StopDhcpClient() {
    if (configurator_.ownsDhcpClient || !files_.Exists("/run/dhclient." + device_ + ".pid")) return;
    if (runner_.Installed("dhclient")) Run({"dhclient", "-x", "-pf", PidFile(), device_});
  }

  // With secondaries promoted, removing the old primary address keeps a new one of the same subnet.
  void RemoveOldAddresses(const std::string& keep) {
    Run({"sysctl", "-q", "-w", "net/ipv4/conf/" + device_ + "/promote_secondaries=1"});
    for (const InterfaceAddress& a : old_) {
      if (a.cidr != keep) Run({"ip", "address", "del", a.cidr, "dev", device_});
    }
  }

  AddressChangeResult SetStatic() {
    const std::string cidr = Cidr(command_);
    if (!Has(old_, cidr)) {
      if (AddAddress(cidr) != 0) return Unchanged("ip could not add " + cidr);
      added_.push_back({cidr, false});
    }
    Run({"ip", "link", "set", "dev", device_, "up"});
    std::string storeError;
    const bool stored = Store(storeError);
    if (stored) Reload();
    StopDhcpClient();
    RemoveOldAddresses(cidr);
    return Settle(cidr, true, device_ + " now has " + cidr, stored, storeError);
  }

  AddressChangeResult StartDhcp() {
    std::string storeError;
    if (AnyDynamic(old_)) {
      // Already leased, as the network shell finds an interface that has DHCP on: only the stored
      // configuration may need to say so.
      const bool stored = Store(storeError);
      return Done(device_ + " already takes its address from DHCP (" + Listed(old_) + ")", stored, storeError);
    }
    const bool ownClient = configurator_.ownsDhcpClient;
    if (!ownClient && !runner_.Installed("dhclient")) return Unchanged("no DHCP client (dhclient) is installed");
    const bool stored = Store(storeError);
    if (ownClient) {
      if (!stored) return Unchanged(storeError);
      Reload();
    } else {
      Run({"ip", "link", "set", "dev", device_, "up"});
      // dhclient -1 stays in front until it has a lease, then leaves a client running in the background.
      dhcpClientStarted_ = Run({"dhclient", "-1", "-pf", PidFile(), "-lf",
                                files_.Under("/var/lib/dhcp/dhclient." + device_ + ".leases"), device_}) == 0;
    }
    std::vector<InterfaceAddress> now;
    bool listed = ReadAddresses(device_, runner_, now);
    for (int waited = 0; !AnyDynamic(now) && waited < LeaseWaitMilliseconds; waited += LeasePollMilliseconds) {
      runner_.Pause(LeasePollMilliseconds);
      listed = ReadAddresses(device_, runner_, now);
    }
    if (!AnyDynamic(now))
      return PutBack(listed ? "no DHCP server answered on " + device_
                            : "ip could not list the addresses of " + device_ + " while a lease was awaited");
    const InterfaceAddress leased =
        *std::find_if(now.begin(), now.end(), [](const InterfaceAddress& a) { return a.dynamic; });
    added_.push_back(leased);
    RemoveOldAddresses(leased.cidr);
    return Settle(leased.cidr, false, device_ + " now takes " + leased.cidr + " from DHCP", stored, storeError);
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
    CommandLine modify = {"nmcli",          "connection",
                          "modify",         uuid,
                          "ipv4.method",    command_.dhcp ? "auto" : "manual",
                          "ipv4.addresses", command_.dhcp ? "" : Cidr(command_),
                          "ipv4.gateway",   ""};
    if (Run(modify) != 0) return Unchanged("NetworkManager refused the change of connection " + uuid);
    // Reapplying changes the addresses in place; a profile that is not active yet is brought up.
    const CommandLine activate =
        active ? CommandLine{"nmcli", "device", "reapply", device_} : CommandLine{"nmcli", "connection", "up", uuid};
    const std::string what =
        command_.dhcp ? device_ + " now takes its address from DHCP" : device_ + " now has " + Cidr(command_);
    if (Run(activate) == 0) return Result(AddressChanged, what + "; NetworkManager keeps it in connection " + uuid);
    if (method.empty() ||
        Run({"nmcli", "connection", "modify", uuid, "ipv4.method", method, "ipv4.addresses", addresses, "ipv4.gateway",
             gateway}) != 0 ||
        Run(activate) != 0)
      return Result(AddressLost, "NetworkManager could not apply the change, nor put connection " + uuid + " back; " +
                                     device_ + " has " + NowListed());
    return Result(AddressRestored, "NetworkManager could not apply the change; connection " + uuid +
                                       " was put back, and " + device_ + " has " + NowListed());
  }

  const AddressCommand& command_;
  const std::string device_;
  const unsigned index_;
  CommandRunner& runner_;
  ConfigurationFiles files_;
  const bool inSystemNamespace_;
  const ConfiguratorRole& configurator_;
  std::vector<InterfaceAddress> old_;    // what the interface had before
  std::vector<InterfaceAddress> added_;  // what this change put there
  bool dhcpClientStarted_ = false;       // a dhclient of this change runs in the background
};

}  // namespace

const LinuxInterface* FindOfferedInterface(const std::vector<LinuxInterface>& interfaces, const std::string& name,
                                           std::string& why) {
  std::vector<AdapterRecord> adapters;
  for (const LinuxInterface& i : interfaces) adapters.push_back({i.friendlyName, i.index});
  NetworkAdapterEntry table[NetworkAdapterCount];
  FillNetworkAdapterTable(adapters, {}, table);
  why = "no network adapter that the IP set-up dialog lists is named \"" + name + "\"";
  for (int i = 0; i < NetworkAdapterCount && table[i].interfaceIndex != 0; ++i) {
    if (name != table[i].name) continue;
    if (i >= IpSetupAdapterButtons) {
      why = "the IP set-up dialog shows only the first " + std::to_string(IpSetupAdapterButtons) +
            " adapters it lists, and \"" + name + "\" comes later";
    } else if (!table[i].wired) {
      why = "\"" + name + "\" is not a wired adapter, and the IP set-up dialog changes only wired ones";
    } else {
      for (const LinuxInterface& offered : interfaces) {
        if (offered.index == table[i].interfaceIndex) return &offered;
      }
    }
    return nullptr;
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

namespace {

// The system's configuration services serve the network namespace of the first process.
bool InSystemNetworkNamespace() {
  struct stat own, first;
  return stat("/proc/self/ns/net", &own) == 0 && stat("/proc/1/ns/net", &first) == 0 && own.st_dev == first.st_dev &&
         own.st_ino == first.st_ino;
}

}  // namespace

std::string HelperConfigurationRoot() {
  std::string root;
  if (FindConfigurationRootStandIn(root)) return root;
  return InSystemNetworkNamespace() ? "/" : "";
}

AddressChangeResult ApplyAddressCommand(const AddressCommand& command, const LinuxInterface& target,
                                        CommandRunner& runner, const std::string& configRoot) {
  return AddressChange(command, target, runner, configRoot).Apply();
}
