// Child processes and a private X server (Xvfb) for the tests and benchmarks that run real windows.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace probetest {

// Starts `args` with exactly the environment `env`, in `dir` when given; the pid, or -1.
inline pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const char* dir = nullptr,
                   posix_spawn_file_actions_t* extra = nullptr) {
  std::vector<char*> argv, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t own;
  posix_spawn_file_actions_t* actions = extra;
  if (actions == nullptr) {
    posix_spawn_file_actions_init(&own);
    actions = &own;
  }
  if (dir != nullptr) posix_spawn_file_actions_addchdir_np(actions, dir);
  pid_t pid = -1;
  int failed = posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), envp.data());
  if (actions == &own) posix_spawn_file_actions_destroy(&own);
  return failed == 0 ? pid : -1;
}

// Waits up to `seconds` for the child; its exit code, or -1 when it did not end (it is then killed).
inline int WaitForExit(pid_t pid, double seconds) {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  int status = 0;
  while (Clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// An Xvfb on a display number it picks itself, stopped when the object ends.
class PrivateXServer {
 public:
  PrivateXServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);  // notes on busy display numbers
    // -noreset: Xvfb would write the display number again, into a closed pipe, when the last client leaves.
    pid_ = Spawn(
        {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-noreset", "-nolisten", "tcp"},
        {"PATH=/usr/bin:/bin"}, nullptr, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    // The number and its line feed come in two writes; closing the pipe in between kills Xvfb.
    std::string number;
    char c = 0;
    pollfd ready{fds[0], POLLIN, 0};
    while (c != '\n' && poll(&ready, 1, 20000) > 0 && read(fds[0], &c, 1) == 1) number += c;
    close(fds[0]);
    if (pid_ > 0 && !number.empty()) display_ = ":" + std::to_string(std::atoi(number.c_str()));
  }
  ~PrivateXServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      WaitForExit(pid_, 10);
    }
  }
  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;

  // ":N", empty when the server did not start.
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace probetest
