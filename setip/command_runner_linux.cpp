// The address helper's programs, started by posix_spawn from their fixed paths with a fixed environment.
#include "setip/command_runner_linux.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {

struct HelperProgram {
  const char* name;
  const char* path;
};

// Debian's places; the same paths hold on merged and unmerged /usr.
constexpr HelperProgram HelperPrograms[] = {
    {"ip", "/sbin/ip"},
    {"nmcli", "/usr/bin/nmcli"},
    {"dhclient", "/sbin/dhclient"},
    {"networkctl", "/bin/networkctl"},
    {"sysctl", "/sbin/sysctl"},
};

// Untranslated output (nmcli's states are read back) and a search path for what the programs run.
char FixedPath[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
char FixedLocale[] = "LC_ALL=C";
char* FixedEnvironment[] = {FixedPath, FixedLocale, nullptr};

void ReadAll(int fd, std::string& out) {
  char buffer[4096];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
    if (got > 0) out.append(buffer, static_cast<std::size_t>(got));
  }
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string HelperProgramPath(const std::string& program) {
  for (const HelperProgram& known : HelperPrograms) {
    if (program == known.name) return known.path;
  }
  return "";
}

int SystemCommandRunner::Run(const CommandLine& argv, std::string* output) {
  const std::string program = HelperProgramPath(argv.empty() ? "" : argv[0]);
  if (program.empty() || access(program.c_str(), X_OK) != 0) return -1;
  int pipeFds[2] = {-1, -1};
  if (output && pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output) posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  std::vector<char*> args;
  for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), FixedEnvironment);
  posix_spawn_file_actions_destroy(&actions);
  if (output) {
    close(pipeFds[1]);
    if (!failed) ReadAll(pipeFds[0], *output);
    close(pipeFds[0]);
  }
  return failed ? -1 : WaitFor(pid);
}

bool SystemCommandRunner::Installed(const std::string& program) {
  const std::string path = HelperProgramPath(program);
  return !path.empty() && access(path.c_str(), X_OK) == 0;
}

void SystemCommandRunner::Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
