// tavik-setip: the address helper that the IP set-up dialog runs with elevated rights in place of the
// network shell. It takes the shell's parameter text (as one argument or as several words), checks it,
// and changes the named interface's IPv4 address. Exit status 0 done, 1 bad parameters, 2 change failed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sysutil/address_change_linux.h"
#include "sysutil/program_search.h"

extern char** environ;

namespace {

constexpr int BadParameters = 1;
constexpr int ChangeFailed = 2;

class SystemRunner : public CommandRunner {
 public:
  int Run(const CommandLine& argv, std::string* output) override {
    std::string program = FindProgram(argv[0]);
    if (program.empty()) return -1;
    int pipeFds[2] = {-1, -1};
    if (output && pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output) posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (output) {
      close(pipeFds[1]);
      ReadAll(pipeFds[0], *output);
      close(pipeFds[0]);
    }
    return failed ? -1 : WaitFor(pid);
  }
  bool Installed(const std::string& program) override { return !FindProgram(program).empty(); }
  bool FileExists(const std::string& path) override { return access(path.c_str(), F_OK) == 0; }

 private:
  static void ReadAll(int fd, std::string& out) {
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
      if (got > 0) out.append(buffer, static_cast<std::size_t>(got));
    }
  }
  static int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

std::string JoinArguments(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) text += (i > 1 ? " " : "") + std::string(argv[i]);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  AddressCommand command;
  std::string error;
  if (!ParseAddressCommand(JoinArguments(argc, argv), command, error)) {
    std::fprintf(stderr, "tavik-setip: %s\n", error.c_str());
    return BadParameters;
  }
  std::vector<LinuxInterface> interfaces;
  if (!ReadLinuxInterfaces(NetClassDirectory(), interfaces)) {
    std::fprintf(stderr, "tavik-setip: cannot read %s\n", NetClassDirectory().c_str());
    return ChangeFailed;
  }
  const LinuxInterface* target = FindInterfaceByName(interfaces, command.adapterName);
  if (!target || !IsPlainDeviceName(target->device)) {
    std::fprintf(stderr, "tavik-setip: no network interface named \"%s\"\n", command.adapterName.c_str());
    return BadParameters;
  }
  if (target->loopback) {
    std::fprintf(stderr, "tavik-setip: the loopback interface keeps its address\n");
    return BadParameters;
  }
  SystemRunner runner;
  int status = ApplyAddressCommand(command, target->device, runner, error);
  if (status != 0) std::fprintf(stderr, "tavik-setip: %s\n", error.c_str());
  return status;
}
