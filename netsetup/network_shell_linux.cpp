// The address helper in place of the network shell, elevated through pkexec (directly when root). Only a
// helper that root alone can have installed is ever run that way. The child is reaped by a detached
// thread, because the caller does not wait for it; how it ended goes to the standard error and to the
// system's log, since the dialog shows only the address.
#include "netsetup/network_shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <thread>
#include <vector>

#include "netsetup/elevation_stand_in.h"
#include "platform/system_log.h"
#include "netsetup/address_command.h"
#include "netsetup/trusted_helper.h"

extern char** environ;

namespace {

constexpr const char* HelperName = "tavik-setip";
constexpr const char* PkexecPath = "/usr/bin/pkexec";
constexpr int PkexecDismissed = 126;  // the prompt was closed without the password
constexpr int PkexecRefused = 127;    // not authorised, the authentication failed, or pkexec's own error

struct RunEnding {
  int status;
  SystemLogLevel level;
  const char* meaning;
};

// How a run that did not end in a change ended, by the exit status of pkexec (which is the helper's once
// the helper has run). The helper reports its own reasons under its own name.
constexpr RunEnding RunEndings[] = {
    {AddressBadParameters, SystemLogLevel::Warning, "tavik-setip refused the request (status 1): nothing was changed"},
    {AddressUnchanged, SystemLogLevel::Error,
     "tavik-setip could not change the address (status 2): it stays as it was"},
    {AddressRestored, SystemLogLevel::Error,
     "tavik-setip could not change the address (status 3): the old one was put back"},
    {AddressLost, SystemLogLevel::Error,
     "tavik-setip could not change the address nor put the old one back (status 4)"},
    {AddressNotKept, SystemLogLevel::Warning,
     "tavik-setip changed the address, but it will not be kept for the next start (status 5)"},
    {PkexecDismissed, SystemLogLevel::Warning,
     "the administrator's password was not given: the address stays as it is"},
    {PkexecRefused, SystemLogLevel::Error,
     "pkexec refused to run tavik-setip (not authorised, or the authentication failed): the address stays as it is"},
};

// The message goes where a terminal shows it and where the system keeps it.
void Tell(SystemLogLevel level, const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  WriteSystemLog(level, text);
}

std::string OwnFolder() {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  std::string own(path, static_cast<std::size_t>(length));
  return own.substr(0, own.rfind('/'));
}

void TellEnding(int waitStatus) {
  if (!WIFEXITED(waitStatus)) {
    Tell(SystemLogLevel::Error, "tavik-setip was stopped before it ended: the address may or may not have changed");
    return;
  }
  const int status = WEXITSTATUS(waitStatus);
  if (status == AddressChanged) return;
  for (const RunEnding& ending : RunEndings) {
    if (ending.status == status) return Tell(ending.level, ending.meaning);
  }
  Tell(SystemLogLevel::Error, "tavik-setip ended with the unknown status " + std::to_string(status));
}

void ReapInBackground(pid_t pid) {
  try {
    std::thread([pid] {
      int status = 0;
      pid_t reaped;
      while ((reaped = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
      }
      if (reaped == pid) TellEnding(status);
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
    Tell(SystemLogLevel::Error, std::string(HelperName) + " must be installed in " + TAVIK_HELPER_FOLDER +
                                    " (or beside this program in " + own +
                                    "), owned by root and writable by no one else, nor any folder above it: the "
                                    "address stays as it is");
    return {};
  }
  if (geteuid() == 0) return {helper, parameters};
  if (access(PkexecPath, X_OK) != 0) {
    Tell(SystemLogLevel::Error, "pkexec is not installed: cannot ask for the rights to change the address");
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
    Tell(SystemLogLevel::Error, "cannot start " + words[0] + ": the address stays as it is");
    return;
  }
  ReapInBackground(pid);
}
