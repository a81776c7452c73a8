// Test support: what a piece of code sends to the system's log, caught for real. The code runs in a child
// process with a mount namespace of its own, whose /dev is a fresh tmpfs holding only "log": a link to a
// datagram socket of the test's, which syslog(3) then writes to as it writes to the system's logger.
// Needs root; the child's standard output and error go to /dev/null.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "scratch_tree.h"

struct CapturedLog {
  int status = -1;                 // the child's exit status; -1 when it had to be stopped
  std::vector<std::string> lines;  // each report as syslog sends it: "<PRIORITY>DATE NAME[PID]: TEXT"

  // Whether a report of the program `name` holds `text`.
  bool Has(const std::string& name, const std::string& text) const {
    for (const std::string& line : lines) {
      const std::size_t from = line.find(" " + name + "[");
      if (from != std::string::npos && line.find(text, from) != std::string::npos) return true;
    }
    return false;
  }
};

// Runs `body` in the child (its result is the child's exit status) and collects the reports until the
// child ends, or until `enough` have come (the child is then stopped), or 30 seconds have passed.
inline CapturedLog CaptureSystemLog(const std::function<int()>& body, std::size_t enough = SIZE_MAX) {
  CapturedLog log;
  ScratchTree scratch("tavik-log");
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", scratch.Path("log").c_str());
  const int logger = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (logger < 0 || bind(logger, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (logger >= 0) close(logger);
    return log;
  }
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/dev", "tmpfs", 0, "mode=0755") != 0 || symlink(address.sun_path, "/dev/log") != 0)
      _exit(127);
    _exit(body());
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  bool ended = child < 0;
  int status = 0;
  while (!ended && log.lines.size() < enough && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{logger, POLLIN, 0};
    poll(&ready, 1, 100);
    ended = waitpid(child, &status, WNOHANG) == child;
    char datagram[4096];
    for (ssize_t got; (got = recv(logger, datagram, sizeof datagram, MSG_DONTWAIT)) > 0;)
      log.lines.emplace_back(datagram, static_cast<std::size_t>(got));
  }
  if (!ended && child > 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  log.status = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  close(logger);
  return log;
}
