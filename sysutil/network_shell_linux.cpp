// The address helper in place of the network shell, elevated through pkexec (directly when root). Only a
// helper that root alone can have installed is ever run that way. The child is reaped by a detached
// thread, because the caller does not wait for it.
#include "sysutil/network_shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <thread>
#include <vector>

#include "elevation_stand_in.h"
#include "sysutil/trusted_helper.h"

extern char** environ;

namespace {

constexpr const char* HelperName = "tavik-setip";
constexpr const char* PkexecPath = "/usr/bin/pkexec";

std::string OwnFolder() {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  std::string own(path, static_cast<std::size_t>(length));
  return own.substr(0, own.rfind('/'));
}

void ReapInBackground(pid_t pid) {
  try {
    std::thread([pid] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the finished child stays a zombie until the program ends, which harms nothing.
  }
}

// The command line that runs the helper with root's rights; empty (with the reason told) when none may.
std::vector<std::string> ElevatedCommand(const std::string& parameters) {
  ElevationStandIn standIn;
  if (FindElevationStandIn(standIn)) return {standIn.runner, standIn.helper, parameters};
  const std::string own = OwnFolder();
  const std::string helper = TrustedHelperPath(HelperName, own, TAVIK_HELPER_FOLDER);
  if (helper.empty()) {
    std::fprintf(stderr,
                 "%s must be installed in %s (or beside this program in %s), owned by root and writable by "
                 "no one else, nor any folder above it: the address stays as it is\n",
                 HelperName, TAVIK_HELPER_FOLDER, own.c_str());
    return {};
  }
  if (geteuid() == 0) return {helper, parameters};
  if (access(PkexecPath, X_OK) != 0) {
    std::fprintf(stderr, "pkexec is not installed: cannot ask for the rights to change the address\n");
    return {};
  }
  return {PkexecPath, helper, parameters};
}

}  // namespace

void RunNetworkShell(const std::string& parameters, std::uintptr_t /* pkexec's agent owns its prompt */) {
  std::vector<std::string> words = ElevatedCommand(parameters);
  if (words.empty()) return;
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", argv[0]);
    return;
  }
  ReapInBackground(pid);
}
