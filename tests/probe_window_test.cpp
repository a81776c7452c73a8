// linkprobe as a user starts it: the real program under a private X server, found by its title with
// xdotool, clicked where its buttons are, its pane read through TAVIK_PANE_DUMP.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "fake_port.h"
#include "gui_test_support.h"
#include "probe_test_support.h"
#include "x_session.h"

namespace {

using probetest::FakePort;
using probetest::ReadWholeFile;
using probetest::ScratchTree;

using guitest::Xdotool;
using guitest::XServer;

// The suite tree linkprobe runs on, and the program itself with its window.
class LinkProbeRun : public ::testing::Test {
 protected:
  ScratchTree tree;
  FakePort com1;
  std::string dump = tree.Path("pane.txt");
  std::unique_ptr<ChildProcess> program;
  std::string window;

  void SetUp() override {
    ASSERT_FALSE(com1.device.empty());
    tree.Write("tavik/PREFERENCES/SETTINGS/DEVS.NIN", "DisplayMode = 2\nInput_Source = C2+\n");
    tree.Write("tavik/BIN/Tconfig.", "Tavik 5.2 demo\n");
    tree.Write("sys/class/tty/.keep", "");  // no machine ports beside the linked ones
    tree.Write("proc/.keep", "");           // no processor data: the summary is left out
    LinkPort(1, com1.device);
  }
  void TearDown() override {
    if (program) program->Wait(500);
  }

  void LinkPort(int n, const std::string& device) {
    std::filesystem::create_directories(tree.Path("tavik/dosdevices"));
    std::filesystem::create_symlink(device, tree.Path("tavik/dosdevices/com" + std::to_string(n)));
  }

  void Start() {
    std::vector<std::string> env =
        guitest::ProgramEnvironment({"TAVIK_ROOT=" + tree.Path("tavik"), "TAVIK_SYSFS=" + tree.Path("sys"),
                                     "TAVIK_PROCFS=" + tree.Path("proc"), "TAVIK_PANE_DUMP=" + dump},
                                    TOOLKIT_LEAKS_PATH);
    program = guitest::StartProgram(LINKPROBE_PATH, {"STARTUPDIR=C:\\Tavik\\BIN\\"}, env, tree.Root());
    ASSERT_TRUE(program->started());
    window = guitest::FindVisibleWindow("^Tavik Comm Check");
    ASSERT_FALSE(window.empty()) << "no linkprobe window appeared";
  }

  // Clicks at a position inside the window, as given in the window's own coordinates.
  void ClickAt(int x, int y) { guitest::ClickAt(window, x, y); }

  // Waits until the pane dump differs from `old`, and returns it.
  std::string PaneAfter(const std::string& old) {
    std::string text;
    Eventually([&] { return (text = ReadWholeFile(dump)) != old; });
    return text;
  }

  bool LabelIsActive(int x, int y, int w, int h, int seconds = 0) {
    return guitest::ShowsBlack(window, x, y, w, h, seconds);
  }

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
  ClickAt(30 + 142, 325 + 15);  // "Rescan ports/Tavik config"
  EXPECT_EQ(PaneAfter(FirstReport),
            "Version       : Tavik 5.3******************************\nCOMM PORTS found(2)\n"
            "   COM1  \n   COM3 *\n********************************\n");
  close(held);

  ClickAt(100 + 190, 460 + 12);  // "Done (Exit)"
  EXPECT_EQ(program->Wait(10000), 0);
}

TEST_F(LinkProbeRun, ButtonsThatWriteNothingLeaveThePaneAlone) {
  Start();
  struct stat before;
  ASSERT_EQ(stat(dump.c_str(), &before), 0);
  // The local sound test (which writes nothing), the tool buttons, and the identity box.
  for (auto [x, y] : {std::pair{172, 280}, {482, 257}, {482, 302}, {482, 347}, {172, 252}}) {
    ClickAt(x, y);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  struct stat after;
  ASSERT_EQ(stat(dump.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // every refresh puts a new file in place
  EXPECT_EQ(program->Wait(0), -1);         // still running

  tree.Write("tavik/BIN/Tconfig.", "changed\n");
  ClickAt(30 + 142, 325 + 15);
  std::string text = PaneAfter(FirstReport);
  EXPECT_EQ(text.rfind("Version       : changed\n", 0), 0u) << text;
  SendCloseRequest();
  EXPECT_EQ(program->Wait(10000), 0);
}

// "Try setting IP address" shows the IP set-up dialog in place of the window; "Done" brings the window
// back. Where the adapters cannot be listed the dialog closes by itself.
TEST_F(LinkProbeRun, IpSetupDialogTakesThePlaceOfTheWindow) {
  Start();
  auto visible = [](const char* title) {
    return !Xdotool(std::string("search --onlyvisible --name '") + title + "'").empty();
  };
  // The toolkit gives a window shown again a new X window: find it anew each time.
  auto findWindow = [&] {
    std::string found = Xdotool("search --onlyvisible --name '^Tavik Comm Check'");
    window = found.substr(0, found.find('\n'));
    return !window.empty();
  };
  const std::string before = window;
  ClickAt(340 + 127, 380 + 15);  // no sys/class/net in the tree: the listing fails
  ASSERT_TRUE(Eventually([&] { return findWindow() && window != before; }));  // hidden and shown again

  tree.Write("sys/class/net/eth0/ifindex", "2\n");
  tree.Write("sys/class/net/eth0/ifalias", "Local Area Connection\n");
  ClickAt(340 + 127, 380 + 15);
  ASSERT_TRUE(Eventually([&] { return visible("^IP setup$") && !visible("^Tavik Comm Check"); }));
  std::string dialog = Xdotool("search --onlyvisible --name '^IP setup$'");
  Xdotool("mousemove --window " + dialog.substr(0, dialog.find('\n')) + " 279 497 click 1");  // "Done"
  EXPECT_TRUE(Eventually([&] { return visible("^Tavik Comm Check") && !visible("^IP setup$"); }));
  ASSERT_TRUE(findWindow());
  SendCloseRequest();
  EXPECT_EQ(program->Wait(10000), 0);
}

TEST_F(LinkProbeRun, GameTestAgainstGameEchoWorks) {
  tree.Write("tavik/PREFERENCES/SETTINGS/DEVS.NIN",
             "DisplayMode = 2\nCommunications_class = Ethernet\nEthernetAddress = 127.0.0.1\nEthernetPort = 5510\n");
  ChildProcess echo(GAMEECHO_PATH, {}, {"TAVIK_ROOT=" + tree.Path("tavik")});
  ASSERT_TRUE(echo.started());
  Start();
  ClickAt(30 + 142, 358 + 12);  // "Test  Game Communications"
  EXPECT_EQ(PaneAfter(FirstReport), std::string(FirstReport) + "Ethernet game communication seems to be working\n");
  SendCloseRequest();
  EXPECT_EQ(program->Wait(10000), 0);
  kill(static_cast<pid_t>(echo.Id()), SIGTERM);
  EXPECT_EQ(echo.Wait(5000), 0);
}

TEST_F(LinkProbeRun, GameSoundTestIsGreyedOutUnlessTwoComputerSetUp) {
  Start();
  EXPECT_TRUE(LabelIsActive(60, 272, 225, 17, 10));  // "Sound Test (this computer)", once drawn
  EXPECT_TRUE(LabelIsActive(60, 300, 225, 17));      // "Sound Test (game computer)", DisplayMode 2
  SendCloseRequest();
  ASSERT_EQ(program->Wait(10000), 0);

  tree.Write("tavik/PREFERENCES/SETTINGS/DEVS.NIN", "Input_Source = C2+\n");
  Start();
  EXPECT_TRUE(LabelIsActive(60, 272, 225, 17, 10));
  EXPECT_FALSE(LabelIsActive(60, 300, 225, 17));
  SendCloseRequest();
  EXPECT_EQ(program->Wait(10000), 0);
}

TEST_F(LinkProbeRun, AmplifierButtonShowsTheInteractiveCheck) {
  Start();
  ClickAt(30 + 142, 386 + 12);  // "Test Configured Amplifier": C2+ configured, no USB devices
  EXPECT_EQ(PaneAfter(FirstReport),
            "These tests are just to confirm something is there!  Actual 'testing' must be\nperformed with the "
            "Amplifier/Encoder Test in Tavik->Tools\n\nExamining C2+\nUnable to locate J&J device\n"
            "Checking other amplifiers\n\nDone\n");
  SendCloseRequest();
  EXPECT_EQ(program->Wait(10000), 0);
}

TEST_F(LinkProbeRun, CloseBoxEndsWithExitCodeZero) {
  Start();
  SendCloseRequest();
  EXPECT_EQ(program->Wait(10000), 0);
}

TEST_F(LinkProbeRun, EscapeEndsWithExitCodeZero) {
  Start();
  Xdotool("windowfocus --sync " + window + " key Escape");
  EXPECT_EQ(program->Wait(10000), 0);
}

TEST_F(LinkProbeRun, TitleCarriesTheBuildAndFileDate) {
  Start();
  struct stat st;
  ASSERT_EQ(stat(LINKPROBE_PATH, &st), 0);
  std::string expected = std::string("Tavik Comm Check PB=1.3  ") + std::ctime(&st.st_mtime);
  EXPECT_EQ(Xdotool("getwindowname " + window), expected + "\n");
  SendCloseRequest();
  EXPECT_EQ(program->Wait(10000), 0);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new XServer);
  return RUN_ALL_TESTS();
}
