// The protection test on the file and every folder above it, on the real path (folders resolved), so that
// no link or folder an ordinary user controls can swap what root runs.
#include "netsetup/trusted_helper.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace {

bool OwnedByRootAndClosed(const struct stat& st) { return st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0; }

// The folder with its links resolved; empty when it does not exist.
std::string RealFolder(const std::string& folder) {
  char resolved[PATH_MAX];
  return realpath(folder.c_str(), resolved) ? std::string(resolved) : std::string();
}

}  // namespace

bool IsProtectedRootFile(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  std::string folder = RealFolder(slash == 0 ? "/" : path.substr(0, slash));
  if (folder.empty()) return false;
  struct stat st;
  const std::string file = (folder == "/" ? "" : folder) + path.substr(slash);
  if (lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !OwnedByRootAndClosed(st)) return false;
  for (;;) {
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !OwnedByRootAndClosed(st)) return false;
    if (folder == "/") return true;
    const std::size_t up = folder.rfind('/');
    folder = up == 0 ? "/" : folder.substr(0, up);
  }
}

std::string TrustedHelperPath(const std::string& name, const std::string& firstFolder,
                              const std::string& secondFolder) {
  for (const std::string& folder : {firstFolder, secondFolder}) {
    if (folder.empty()) continue;
    const std::string real = RealFolder(folder);
    const std::string path = (real == "/" ? "" : real) + "/" + name;
    if (!real.empty() && IsProtectedRootFile(path)) return path;
  }
  return "";
}
