// linkprobe as a user starts it: the real program under a private X server, found by its title with
// xdotool, clicked where its buttons are, its pane read through TAVIK_PANE_DUMP.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "probe_test_support.h"

extern char** environ;

namespace {

using probetest::ReadWholeFile;
using probetest::ScratchTree;
using Clock = std::chrono::steady_clock;

std::string displayName;   // the private X server of this test program

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const char* dir,
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
int WaitForExit(pid_t pid, double seconds) {
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
std::string Xdotool(const std::string& arguments) {
  std::string command = "DISPLAY=" + displayName + " timeout 20 xdotool " + arguments + " 2>/dev/null";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[256];
    while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
    pclose(pipe);
  }
  return output;
}

// A pseudo-terminal standing in for a serial port.
struct FakePort {
  int master = -1;
  std::string device;
  FakePort() {
    int slave = -1;
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
      device = name;
      close(slave);
    }
  }
  ~FakePort() { close(master); }
};

// The suite tree linkprobe runs on, and the program itself with its window.
class LinkProbeRun : public ::testing::Test {
 protected:
  ScratchTree tree;
  FakePort com1;
  std::string dump = tree.Path("pane.txt");
  pid_t pid = -1;
  std::string window;

  void SetUp() override {
    ASSERT_FALSE(com1.device.empty());
    tree.Write("tavik/PREFERENCES/SETTINGS/DEVS.NIN", "DisplayMode = 2\nInput_Source = C2+\n");
    tree.Write("tavik/BIN/Tconfig.", "Tavik 5.2 demo\n");
    tree.Write("sys/class/tty/.keep", "");   // no machine ports beside the linked ones
    tree.Write("proc/.keep", "");             // no processor data: the summary is left out
    LinkPort(1, com1.device);
  }
  void TearDown() override {
    if (pid > 0) WaitForExit(pid, 0.5);
  }

  void LinkPort(int n, const std::string& device) {
    std::filesystem::create_directories(tree.Path("tavik/dosdevices"));
    std::filesystem::create_symlink(device, tree.Path("tavik/dosdevices/com" + std::to_string(n)));
  }

  void Start() {
    std::vector<std::string> env = {
        "DISPLAY=" + displayName,       "TAVIK_ROOT=" + tree.Path("tavik"),
        "TAVIK_SYSFS=" + tree.Path("sys"), "TAVIK_PROCFS=" + tree.Path("proc"),
        "TAVIK_PANE_DUMP=" + dump,      "PATH=/usr/bin:/bin"};
    for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
      if (const char* value = std::getenv(keep)) env.push_back(std::string(keep) + "=" + value);
    }
    env.push_back("LSAN_OPTIONS=print_suppressions=0:suppressions=" TOOLKIT_LEAKS_PATH);
    pid = Spawn({LINKPROBE_PATH, "STARTUPDIR=C:\\Tavik\\BIN\\"}, env, tree.Root().c_str());
    ASSERT_GT(pid, 0);
    std::string found = Xdotool("search --sync --onlyvisible --name '^Tavik Comm Check'");
    window = found.substr(0, found.find('\n'));
    ASSERT_FALSE(window.empty()) << "no linkprobe window appeared";
  }

  // Clicks at a position inside the window, as given in the window's own coordinates.
  void ClickAt(int x, int y) {
    Xdotool("mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
            " click 1");
  }

  // Waits until the pane dump differs from `old`, and returns it.
  std::string PaneAfter(const std::string& old) {
    auto deadline = Clock::now() + std::chrono::seconds(10);
    std::string text = ReadWholeFile(dump);
    while (text == old && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      text = ReadWholeFile(dump);
    }
    return text;
  }

  // What the window's close box does: the window manager's delete request.
  void SendCloseRequest() {
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
};

const char* const FirstReport =
    "Version       : Tavik 5.2 demo\n"
    "******************************\nCOMM PORTS found(1)\n"
    "   COM1  \n"
    "********************************\n";

TEST_F(LinkProbeRun, ShowsTheReportRescansAndEndsWithDone) {
  Start();
  EXPECT_EQ(ReadWholeFile(dump), FirstReport);

  // A second port appears and another program holds it; the configuration file loses its line feed.
  FakePort com3;
  LinkPort(3, com3.device);
  int held = open(com3.device.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  tree.Write("tavik/BIN/Tconfig.", "Tavik 5.3");
  ClickAt(30 + 142, 325 + 15);   // "Rescan ports/Tavik config"
  EXPECT_EQ(PaneAfter(FirstReport),
            "Version       : Tavik 5.3******************************\nCOMM PORTS found(2)\n"
            "   COM1  \n   COM3 *\n********************************\n");
  close(held);

  ClickAt(100 + 190, 460 + 12);  // "Done (Exit)"
  EXPECT_EQ(WaitForExit(pid, 10), 0);
  pid = -1;
}

TEST_F(LinkProbeRun, ButtonsOutsideTheRescanLeaveThePaneAlone) {
  Start();
  // Clicks on the identity box, the test column's gaps and the tool buttons change nothing here.
  for (auto [x, y] : {std::pair{100, 250}, {200, 320}, {480, 260}, {480, 350}, {10, 480}}) ClickAt(x, y);
  tree.Write("tavik/BIN/Tconfig.", "changed\n");
  ClickAt(30 + 142, 325 + 15);
  std::string after = PaneAfter(FirstReport);
  EXPECT_EQ(after.rfind("Version       : changed\n", 0), 0u) << after;
  SendCloseRequest();
  EXPECT_EQ(WaitForExit(pid, 10), 0);
  pid = -1;
}

TEST_F(LinkProbeRun, GameTestAgainstGameEchoWorks) {
  tree.Write("tavik/PREFERENCES/SETTINGS/DEVS.NIN",
             "DisplayMode = 2\nCommunications_class = Ethernet\nEthernetAddress = 127.0.0.1\nEthernetPort = 5510\n");
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  pid_t echo = Spawn({GAMEECHO_PATH}, {"TAVIK_ROOT=" + tree.Path("tavik")}, nullptr, &quiet);
  posix_spawn_file_actions_destroy(&quiet);
  ASSERT_GT(echo, 0);
  Start();
  ClickAt(30 + 142, 358 + 12);   // "Test  Game Communications"
  EXPECT_EQ(PaneAfter(FirstReport), std::string(FirstReport) + "Ethernet game communication seems to be working\n");
  SendCloseRequest();
  EXPECT_EQ(WaitForExit(pid, 10), 0);
  pid = -1;
  kill(echo, SIGTERM);
  EXPECT_EQ(WaitForExit(echo, 5), 0);
}

TEST_F(LinkProbeRun, CloseBoxEndsWithExitCodeZero) {
  Start();
  SendCloseRequest();
  EXPECT_EQ(WaitForExit(pid, 10), 0);
  pid = -1;
}

TEST_F(LinkProbeRun, EscapeEndsWithExitCodeZero) {
  Start();
  Xdotool("windowfocus --sync " + window + " key Escape");
  EXPECT_EQ(WaitForExit(pid, 10), 0);
  pid = -1;
}

TEST_F(LinkProbeRun, TitleCarriesTheBuildAndFileDate) {
  Start();
  struct stat st;
  ASSERT_EQ(stat(LINKPROBE_PATH, &st), 0);
  std::string expected = std::string("Tavik Comm Check PB=1.3  ") + std::ctime(&st.st_mtime);
  EXPECT_EQ(Xdotool("getwindowname " + window), expected + "\n");
  SendCloseRequest();
  EXPECT_EQ(WaitForExit(pid, 10), 0);
  pid = -1;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new XServer);
  return RUN_ALL_TESTS();
}
