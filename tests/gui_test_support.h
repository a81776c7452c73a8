// Driving a real program under a private X server: Xvfb started once per test program, child
// processes started and waited for by pid, xdotool on the private display, the close box's request.
#pragma once

#include <X11/Xlib.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace guitest {

using Clock = std::chrono::steady_clock;

inline std::string displayName;  // the private X server of this test program

// Starts `args` with exactly the environment `env`, in `dir` when given.
inline pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const char* dir,
                   posix_spawn_file_actions_t* actions = nullptr) {
  std::vector<char*> argv, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  std::string previous = std::filesystem::current_path();
  if (dir != nullptr) std::filesystem::current_path(dir);
  pid_t pid = -1;
  int failed = posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), envp.data());
  std::filesystem::current_path(previous);
  return failed == 0 ? pid : -1;
}

// Waits up to `seconds` for the child; its exit code, or -1 when it did not end (it is then killed).
inline int WaitForExit(pid_t pid, double seconds) {
  auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  int status = 0;
  while (Clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// Starts Xvfb on a display number it chooses itself, for the whole test program.
class XServer : public ::testing::Environment {
 public:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_ = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-noreset", "-nolisten",
                  "tcp"},
                 {"PATH=/usr/bin:/bin"}, nullptr, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    ASSERT_GT(pid_, 0);
    // Xvfb writes the number and the line feed separately and dies if the pipe closes in between.
    std::string number;
    char c = 0;
    pollfd ready{fds[0], POLLIN, 0};
    while (c != '\n' && poll(&ready, 1, 20000) > 0 && read(fds[0], &c, 1) == 1) number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    displayName = ":" + std::to_string(std::atoi(number.c_str()));
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      WaitForExit(pid_, 10);
    }
  }

 private:
  pid_t pid_ = -1;
};

// Runs an xdotool command on the private display and returns what it printed.
inline std::string Xdotool(const std::string& arguments) {
  std::string command = "DISPLAY=" + displayName + " timeout 20 xdotool " + arguments + " 2>/dev/null";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[256];
    while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
    pclose(pipe);
  }
  return output;
}

// The first window whose name matches `pattern` once it is visible; empty when none appears.
inline std::string FindVisibleWindow(const std::string& pattern) {
  std::string found = Xdotool("search --sync --onlyvisible --name '" + pattern + "'");
  return found.substr(0, found.find('\n'));
}

// Clicks at a position inside `window`, as given in the window's own coordinates.
inline void ClickAt(const std::string& window, int x, int y) {
  Xdotool("mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

// What a window's close box does: the window manager's delete request.
inline void SendCloseRequest(const std::string& window) {
  Display* display = XOpenDisplay(displayName.c_str());
  ASSERT_NE(display, nullptr);
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = std::stoul(window);
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
  XCloseDisplay(display);
}

// The environment a program under test gets: the private display, the sanitizers' settings and the
// suppressions of the toolkit's own leaks, and `extra`.
inline std::vector<std::string> ProgramEnvironment(std::vector<std::string> extra, const char* leakSuppressions) {
  extra.push_back("DISPLAY=" + displayName);
  extra.push_back("PATH=/usr/bin:/bin");
  for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
    if (const char* value = std::getenv(keep)) extra.push_back(std::string(keep) + "=" + value);
  }
  extra.push_back(std::string("LSAN_OPTIONS=print_suppressions=0:suppressions=") + leakSuppressions);
  return extra;
}

}  // namespace guitest
