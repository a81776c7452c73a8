// The address helper in place of the network shell, elevated through pkexec (directly when root). The
// child is reaped by a detached thread, because the caller does not wait for it.
#include "sysutil/network_shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

#include "sysutil/program_search.h"

extern char** environ;

namespace {

constexpr const char* HelperName = "tavik-setip";

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

std::string AddressHelperPath() {
  std::string beside = OwnFolder() + "/" + HelperName;
  if (access(beside.c_str(), X_OK) == 0) return beside;
  if (access(TAVIK_SETIP_BUILD_PATH, X_OK) == 0) return TAVIK_SETIP_BUILD_PATH;
  return "";
}

}  // namespace

void RunNetworkShell(const std::string& parameters, std::uintptr_t /* pkexec's agent owns its prompt */) {
  std::string helper = AddressHelperPath();
  if (helper.empty()) {
    std::fprintf(stderr, "%s is not installed beside this program: the address stays as it is\n", HelperName);
    return;
  }
  const char* runner = std::getenv("TAVIK_ELEVATION_RUNNER");
  std::vector<std::string> words;
  if (runner && *runner) {
    words = {runner, helper, parameters};
  } else if (geteuid() == 0) {
    words = {helper, parameters};
  } else {
    words = {FindProgram("pkexec"), helper, parameters};
  }
  if (words[0].empty()) {
    std::fprintf(stderr, "pkexec is not installed: cannot ask for the rights to change the address\n");
    return;
  }
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
