// Where a Linux computer keeps an interface's address across restarts, and changing it there: the
// service that configures the interface is recognised by what it leaves on the running system, and the
// new address goes into that service's own configuration. Every path is taken under a configuration root
// ("/" for the real system; tests pass a folder of their own).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sysutil/address_command.h"
#include "sysutil/command_runner_linux.h"

enum class NetworkConfigurator { None, NetworkManager, Networkd, Ifupdown };

// The service that configures `device` (kernel index `index`): NetworkManager when nmcli reports the
// device managed; systemd-networkd when its state file for the index says it manages the link; ifupdown
// when its state file for the device names it or one of its configuration files has an "iface DEVICE
// inet" stanza; else None.
NetworkConfigurator DetectNetworkConfigurator(const std::string& device, unsigned index, CommandRunner& runner,
                                              const std::string& configRoot);

// The service's name as a technician knows it.
const char* NetworkConfiguratorName(NetworkConfigurator configurator);

// Configuration files changed by one address change, with what they held before, so that a change that
// fails can be taken back. Files are replaced whole (a new file renamed over the old one), and the new
// file takes the old one's owner, group, mode and access list (the system.posix_acl_access attribute).
// A path that is a symbolic link is refused, not followed: root would otherwise write wherever the link
// leads, and the link itself would become a plain file.
class ConfigurationFiles {
 public:
  explicit ConfigurationFiles(std::string configRoot) : root_(std::move(configRoot)) {}
  // The file's content, empty when it does not exist. `path` is absolute on the configured system.
  std::string Read(const std::string& path) const;
  bool Exists(const std::string& path) const;
  // The files of a folder (names only, sorted); none when it does not exist.
  std::vector<std::string> List(const std::string& folder) const;
  // Replaces the file (creating missing folders 0755; a new file is 0644), remembering the first content
  // it had; false with `error` when it cannot, or when the path is a link or anything but a plain file.
  bool Write(const std::string& path, const std::string& content, std::string& error);
  // Puts every changed file back as it was; false when one could not be.
  bool Restore();
  // The path on this machine.
  std::string Under(const std::string& path) const;

 private:
  std::string root_;
  std::vector<std::pair<std::string, std::optional<std::string>>> previous_;
};

// Writes the address into systemd-networkd's configuration: a .network file for the interface that comes
// before the one networkd uses for it now. False with `error` when that cannot be done.
bool StoreNetworkdAddress(const AddressCommand& command, const std::string& device, unsigned index,
                          ConfigurationFiles& files, std::string& error);

// Whether ifupdown's configuration (/etc/network/interfaces and the files it sources) has an "iface
// DEVICE inet" stanza.
bool IfupdownConfiguresDevice(const std::string& device, const ConfigurationFiles& files);

// Writes the address into ifupdown's configuration: a stanza in a file of /etc/network/interfaces.d, the
// interface's other "inet" stanzas commented out so that only the new one applies.
bool StoreIfupdownAddress(const AddressCommand& command, const std::string& device, ConfigurationFiles& files,
                          std::string& error);

// The text of /etc/network/interfaces (or a file it sources) with every "iface DEVICE inet" stanza
// commented out; the rest is kept line for line. Exposed for the fuzz target.
std::string WithoutInetStanzas(const std::string& text, const std::string& device, bool& changed);
