// linkprobe as a user starts it: the real program under a private X server, found by its title with
// xdotool, clicked where its buttons are, its pane read through TAVIK_PANE_DUMP.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "gui_test_support.h"
#include "probe_test_support.h"

namespace {

using guitest::Spawn;
using guitest::WaitForExit;
using guitest::Xdotool;
using probetest::ReadWholeFile;
using probetest::ScratchTree;
using Clock = std::chrono::steady_clock;

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
    std::vector<std::string> env = guitest::ProgramEnvironment(
        {"TAVIK_ROOT=" + tree.Path("tavik"), "TAVIK_SYSFS=" + tree.Path("sys"), "TAVIK_PROCFS=" + tree.Path("proc"),
         "TAVIK_PANE_DUMP=" + dump},
        TOOLKIT_LEAKS_PATH);
    pid = Spawn({LINKPROBE_PATH, "STARTUPDIR=C:\\Tavik\\BIN\\"}, env, tree.Root().c_str());
    ASSERT_GT(pid, 0);
    window = guitest::FindVisibleWindow("^Tavik Comm Check");
    ASSERT_FALSE(window.empty()) << "no linkprobe window appeared";
  }

  // Clicks at a position inside the window, as given in the window's own coordinates.
  void ClickAt(int x, int y) { guitest::ClickAt(window, x, y); }

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
  void SendCloseRequest() { guitest::SendCloseRequest(window); }
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
  ::testing::AddGlobalTestEnvironment(new guitest::XServer);
  return RUN_ALL_TESTS();
}
