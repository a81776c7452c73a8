// Recognising the service that configures an interface, and replacing configuration files so that a
// failed change can be taken back.
#include "address_store_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr mode_t ConfigurationFileMode = 0644;

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// NetworkManager manages the device when nmcli answers for it with a state other than "unmanaged".
bool ManagedByNetworkManager(const std::string& device, CommandRunner& runner) {
  if (!runner.Installed("nmcli")) return false;
  std::string state;
  if (runner.Run({"nmcli", "-g", "GENERAL.STATE", "device", "show", device}, &state) != 0) return false;
  state = FirstLine(state);
  return !state.empty() && state.find("unmanaged") == std::string::npos && state.rfind("10 ", 0) != 0;
}

// systemd-networkd keeps one state file per link index; a link it leaves alone reads "unmanaged".
bool ManagedByNetworkd(unsigned index, const ConfigurationFiles& files) {
  std::istringstream state(files.Read("/run/systemd/netif/links/" + std::to_string(index)));
  for (std::string line; std::getline(state, line);) {
    if (line.rfind("ADMIN_STATE=", 0) != 0) continue;
    const std::string admin = line.substr(12);
    return !admin.empty() && admin != "unmanaged" && admin != "linger";
  }
  return false;
}

// ifupdown's record of the interfaces it has brought up: the logical name, empty once it is down.
std::string IfupdownStateFile(const std::string& device) { return "/run/network/ifstate." + device; }

}  // namespace

NetworkConfigurator DetectNetworkConfigurator(const std::string& device, unsigned index, CommandRunner& runner,
                                              const std::string& configRoot) {
  if (ManagedByNetworkManager(device, runner)) return NetworkConfigurator::NetworkManager;
  ConfigurationFiles files(configRoot);
  if (ManagedByNetworkd(index, files)) return NetworkConfigurator::Networkd;
  if (!FirstLine(files.Read(IfupdownStateFile(device))).empty() || IfupdownConfiguresDevice(device, files))
    return NetworkConfigurator::Ifupdown;
  return NetworkConfigurator::None;
}

const char* NetworkConfiguratorName(NetworkConfigurator configurator) {
  switch (configurator) {
    case NetworkConfigurator::NetworkManager: return "NetworkManager";
    case NetworkConfigurator::Networkd: return "systemd-networkd";
    case NetworkConfigurator::Ifupdown: return "ifupdown";
    case NetworkConfigurator::None: break;
  }
  return "no network configuration service";
}

std::string ConfigurationFiles::Under(const std::string& path) const {
  if (root_.empty() || root_ == "/") return path;
  return root_ + path;
}

std::string ConfigurationFiles::Read(const std::string& path) const {
  std::ifstream in(Under(path), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ConfigurationFiles::Exists(const std::string& path) const {
  std::error_code ec;
  return fs::is_regular_file(Under(path), ec);
}

std::vector<std::string> ConfigurationFiles::List(const std::string& folder) const {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(Under(folder), ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool ConfigurationFiles::Write(const std::string& path, const std::string& content, std::string& error) {
  const std::string target = Under(path);
  std::error_code ec;
  fs::create_directories(fs::path(target).parent_path(), ec);
  std::string temporary = target + ".tavik-XXXXXX";
  int fd = mkstemp(temporary.data());
  bool written = fd >= 0 && fchmod(fd, ConfigurationFileMode) == 0 &&
                 write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) && fsync(fd) == 0;
  if (fd >= 0) close(fd);
  const bool existed = Exists(path);
  const std::string before = existed ? Read(path) : "";
  if (!written || rename(temporary.c_str(), target.c_str()) != 0) {
    if (fd >= 0) unlink(temporary.c_str());
    error = "cannot write " + path;
    return false;
  }
  auto seen = std::find_if(previous_.begin(), previous_.end(), [&](const auto& p) { return p.first == path; });
  if (seen == previous_.end()) previous_.emplace_back(path, existed ? std::optional<std::string>(before) : std::nullopt);
  return true;
}

bool ConfigurationFiles::Restore() {
  bool restored = true;
  std::string ignored;
  for (auto it = previous_.rbegin(); it != previous_.rend(); ++it) {
    if (it->second) {
      restored = Write(it->first, *it->second, ignored) && restored;
    } else {
      restored = unlink(Under(it->first).c_str()) == 0 && restored;
    }
  }
  previous_.clear();
  return restored;
}
