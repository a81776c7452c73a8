// The suite's C:\Tavik tree under $TAVIK_ROOT, with Windows' indifference to letter case and to the
// trailing dots of names.
#include "platform/tavik_path.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// A name as Windows compares it: without its trailing dots and blanks ("Tconfig." names "Tconfig").
std::string WindowsName(const std::string& name) {
  std::size_t end = name.find_last_not_of(". ");
  return end == std::string::npos ? "" : name.substr(0, end + 1);
}

// The entry of folder dir whose name equals name as Windows compares names (ignoring case and trailing
// dots and blanks); name itself when none does.
std::string MatchAsWindows(const std::string& dir, const std::string& name) {
  const std::string wanted = WindowsName(name);
  if (wanted.empty()) return name;
  DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
  if (!d) return name;
  std::string found = name;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(WindowsName(e->d_name).c_str(), wanted.c_str()) == 0) {
      found = e->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

std::string ResolveComponents(std::string base, const std::string& relative) {
  size_t pos = 0;
  while (pos <= relative.size()) {
    size_t end = relative.find('/', pos);
    if (end == std::string::npos) end = relative.size();
    std::string part = relative.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (part != ".." && !Exists(base + "/" + part)) part = MatchAsWindows(base, part);
    base += "/" + part;
  }
  return base;
}

std::string WithSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace

std::string TavikRoot() {
  const char* root = std::getenv("TAVIK_ROOT");
  std::string path = root && *root ? root : "/opt/tavik";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string TavikPath(const std::string& windowsPath) {
  std::string path = WithSlashes(windowsPath);
  const std::string prefix = "C:/Tavik";
  bool inTavik = strncasecmp(path.c_str(), prefix.c_str(), prefix.size()) == 0 &&
                 (path.size() == prefix.size() || path[prefix.size()] == '/');
  if (!inTavik) return path;
  return ResolveComponents(TavikRoot(), path.substr(prefix.size()));
}

std::string ProgramPath(const std::string& windowsPath) {
  std::string path = WithSlashes(windowsPath);
  if (Exists(path)) return path;
  const std::string exe = ".exe";
  if (path.size() > exe.size() && strcasecmp(path.c_str() + path.size() - exe.size(), exe.c_str()) == 0) {
    path.resize(path.size() - exe.size());
    if (Exists(path)) return path;
  }
  return "";
}

std::string WindowsNotation(const std::string& path) {
  std::string text = path;
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}
