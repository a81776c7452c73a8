// The address in systemd-networkd's configuration. networkd configures a link from the first .network
// file (in name order over its folders) that matches it and names that file in its state file; a file of
// ours for exactly this interface that sorts before it takes over, and a later change rewrites ours.
#include "address_store_linux.h"

#include <sstream>

namespace {

const char* const OwnFolder = "/etc/systemd/network";

std::string OwnFileName(const std::string& device) { return "00-tavik-" + device + ".network"; }

// The file networkd applies to the link now, from its state file; empty when it names none.
std::string CurrentNetworkFile(unsigned index, const ConfigurationFiles& files) {
  std::istringstream state(files.Read("/run/systemd/netif/links/" + std::to_string(index)));
  for (std::string line; std::getline(state, line);) {
    if (line.rfind("NETWORK_FILE=", 0) == 0) return line.substr(13);
  }
  return "";
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

bool StoreNetworkdAddress(const AddressCommand& command, const std::string& device, unsigned index,
                          ConfigurationFiles& files, std::string& error) {
  const std::string own = OwnFileName(device);
  const std::string current = BaseName(CurrentNetworkFile(index, files));
  if (!current.empty() && current != own && current < own) {
    error = "systemd-networkd configures " + device + " from " + CurrentNetworkFile(index, files) +
            ", which comes before " + std::string(OwnFolder) + "/" + own + "; change the address there";
    return false;
  }
  std::string text = "# The address set by tavik-setip (the IP set-up dialog) for " + device +
                     ".\n"
                     "[Match]\nName=" +
                     device + "\n\n[Network]\n";
  if (command.dhcp) {
    text += "DHCP=ipv4\n";
  } else {
    text += "Address=" + DottedQuad(command.address) + "/" + std::to_string(command.prefixLength) + "\n";
  }
  return files.Write(std::string(OwnFolder) + "/" + own, text, error);
}
