// Child processes of the tests on POSIX: posix_spawn with pipes, poll for the output, signals to stop.
#include "child_process.h"

#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <thread>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// How often Wait asks whether the child has ended.
constexpr std::chrono::milliseconds ExitPollInterval{10};
// ru_maxrss counts kilobytes.
constexpr double KilobytesPerMegabyte = 1024.0;

std::string FromTestDirectory(const std::string& program) {
  if (!program.empty() && program[0] == '/') return program;
  char self[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/') + 1) + program;
}

bool Replaced(const char* entry, const std::vector<std::string>& settings) {
  for (const std::string& s : settings)
    if (std::strncmp(entry, s.c_str(), s.find('=') + 1) == 0) return true;
  return false;
}

}  // namespace

struct ChildProcess::Impl {
  pid_t pid = -1;
  int input = -1;
  int output = -1;
  bool exited = false;
  int exitCode = -1;

  double peakMegabytes = 0;

  bool Reap(int options) {
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, options, &usage) != pid) return false;
    exited = true;
    peakMegabytes = static_cast<double>(usage.ru_maxrss) / KilobytesPerMegabyte;
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  }
};

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args, const ChildStart& start)
    : impl_(new Impl) {
  int in[2], out[2] = {-1, -1};
  if (pipe(in) != 0) return;
  const bool piped = start.output == ChildOutput::Piped;
  if (piped && pipe(out) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  if (piped) {
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
  } else if (start.output == ChildOutput::ToFile) {
    posix_spawn_file_actions_addopen(&actions, 1, start.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  if (start.errorsDropped) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (!start.directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, start.directory.c_str());
  std::string path = FromTestDirectory(program);
  std::vector<std::string> words{path};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<std::string> settings = start.environment;
  std::vector<char*> env;
  if (!start.environmentOnly)
    for (char** e = environ; *e != nullptr; ++e)
      if (!Replaced(*e, settings)) env.push_back(*e);
  for (std::string& s : settings) env.push_back(s.data());
  env.push_back(nullptr);
  if (posix_spawn(&impl_->pid, path.c_str(), &actions, nullptr, argv.data(), env.data()) != 0) impl_->pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  impl_->input = in[1];
  if (piped) {
    close(out[1]);
    impl_->output = out[0];
  }
}

ChildProcess::~ChildProcess() {
  if (impl_->pid > 0 && !impl_->exited) {
    kill(impl_->pid, SIGKILL);
    impl_->Reap(0);
  }
  if (impl_->input >= 0) close(impl_->input);
  if (impl_->output >= 0) close(impl_->output);
}

bool ChildProcess::started() const { return impl_->pid > 0; }

long ChildProcess::Id() const { return started() ? impl_->pid : -1; }

bool ChildProcess::Write(const std::string& bytes) {
  std::signal(SIGPIPE, SIG_IGN);  // a child that has gone makes the write fail, not the test end
  return write(impl_->input, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

bool ChildProcess::ReadSome(std::string& text, int milliseconds) {
  if (impl_->output < 0) return false;
  pollfd p{impl_->output, POLLIN, 0};
  if (poll(&p, 1, milliseconds) <= 0) return true;
  char chunk[512];
  ssize_t n = read(impl_->output, chunk, sizeof chunk);
  if (n <= 0) return false;
  text.append(chunk, static_cast<size_t>(n));
  return true;
}

int ChildProcess::Wait(int milliseconds) {
  if (impl_->pid <= 0) return -1;
  // Asked before the first sleep, so that no time at all still reaps a child that has ended.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!impl_->exited && !impl_->Reap(WNOHANG) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(ExitPollInterval);
  return impl_->exited ? impl_->exitCode : -1;
}

double ChildProcess::PeakMegabytes() const { return impl_->peakMegabytes; }

bool ChildProcess::Interrupt() { return impl_->pid > 0 && !impl_->exited && kill(impl_->pid, SIGINT) == 0; }
