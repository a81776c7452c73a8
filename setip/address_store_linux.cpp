// Recognising the service that configures an interface, and replacing configuration files so that a
// failed change can be taken back.
#include "address_store_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What the helper gives the files and folders it makes; a file it replaces keeps its own.
constexpr mode_t ConfigurationFileMode = 0644;
constexpr mode_t ConfigurationFolderMode = 0755;

// Where Linux keeps a file's access list beyond its mode bits.
const char* const AccessListAttribute = "system.posix_acl_access";

// Gives the new file `fd` the owner, group, mode and access list of the file it replaces, so that a
// 0600 file holding a passphrase stays 0600. The owner goes first: changing it clears set-ID bits.
bool TakeOver(int fd, const struct stat& old, const std::string& replaced) {
  if (fchown(fd, old.st_uid, old.st_gid) != 0 || fchmod(fd, old.st_mode & 07777) != 0) return false;
  const ssize_t size = lgetxattr(replaced.c_str(), AccessListAttribute, nullptr, 0);
  if (size < 0) return errno == ENODATA || errno == ENOTSUP;  // none, or none possible here
  std::vector<char> list(static_cast<std::size_t>(size));
  const ssize_t got = lgetxattr(replaced.c_str(), AccessListAttribute, list.data(), list.size());
  return got >= 0 && fsetxattr(fd, AccessListAttribute, list.data(), static_cast<std::size_t>(got), 0) == 0;
}

// Writes `content` to a new file beside `target` and renames it over the target; the new file takes the
// replaced one's rights (`old`), or 0644 when there was none.
bool ReplaceWhole(const std::string& target, const std::string& content, const struct stat* old) {
  std::string temporary = target + ".tavik-XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool written = (old ? TakeOver(fd, *old, target) : fchmod(fd, ConfigurationFileMode) == 0) &&
                 write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) && fsync(fd) == 0;
  written = close(fd) == 0 && written;
  if (written && rename(temporary.c_str(), target.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

// Makes the missing folders of `folder`, each 0755.
bool MakeFolders(const std::string& folder) {
  struct stat st;
  if (folder.empty() || stat(folder.c_str(), &st) == 0) return !folder.empty() && S_ISDIR(st.st_mode);
  if (!MakeFolders(fs::path(folder).parent_path().string())) return false;
  return mkdir(folder.c_str(), ConfigurationFolderMode) == 0 || errno == EEXIST;
}

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
  struct stat old;
  const bool existed = lstat(target.c_str(), &old) == 0;
  if (existed && !S_ISREG(old.st_mode)) {
    error = path + (S_ISLNK(old.st_mode) ? " is a symbolic link" : " is not a plain file") +
            ", which tavik-setip does not rewrite; change the address there by hand";
    return false;
  }
  const std::string before = existed ? Read(path) : "";
  if (!MakeFolders(fs::path(target).parent_path().string()) ||
      !ReplaceWhole(target, content, existed ? &old : nullptr)) {
    error = "cannot write " + path;
    return false;
  }
  auto seen = std::find_if(previous_.begin(), previous_.end(), [&](const auto& p) { return p.first == path; });
  if (seen == previous_.end())
    previous_.emplace_back(path, existed ? std::optional<std::string>(before) : std::nullopt);
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
