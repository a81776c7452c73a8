// linkprobe as a user starts it: the real program under a private X server, found by its title with
// xdotool, clicked where its buttons are, its pane read through TAVIK_PANE_DUMP.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "fake_port.h"
#include "gui_test_support.h"

namespace {

using guitest::Xdotool;
using probetest::FakePort;
using probetest::HeldPort;

const char* const Title = "^Tavik Comm Check";
const char* const FirstReport =
    "Version       : Tavik 5.2 demo\n"
    "******************************\nCOMM PORTS found(1)\n"
    "   COM1  \n"
    "********************************\n";

// The suite tree linkprobe runs on, and the program itself with its window.
class LinkProbeRun : public guitest::ProgramRun {
 protected:
  FakePort com1;

  void SetUp() override {
    ASSERT_FALSE(com1.device.empty());
    tree.Write("tavik/PREFERENCES/SETTINGS/DEVS.NIN", "DisplayMode = 2\nInput_Source = C2+\n");
    tree.Write("tavik/BIN/Tconfig.", "Tavik 5.2 demo\n");
    tree.Write("sys/class/tty/.keep", "");  // no machine ports beside the linked ones
    tree.Write("proc/.keep", "");           // no processor data: the summary is left out
    LinkPort(1, com1.device);
  }
  void Start() {
    Launch(LINKPROBE_PATH, "C:\\Tavik\\BIN\\", tree.Root(), {"TAVIK_PROCFS=" + tree.Path("proc")}, Title);
  }
};

TEST_F(LinkProbeRun, ShowsTheReportRescansAndEndsWithDone) {
  Start();
  EXPECT_EQ(Shown(), FirstReport);

  // A second port appears and another program holds it; the configuration file loses its line feed.
  FakePort com3;
  LinkPort(3, com3.device);
  HeldPort held(com3.device);
  ASSERT_TRUE(held.locked);
  tree.Write("tavik/BIN/Tconfig.", "Tavik 5.3");
  Click(30 + 142, 325 + 15);  // "Rescan ports/Tavik config"
  EXPECT_EQ(ShownAfter(FirstReport),
            "Version       : Tavik 5.3******************************\nCOMM PORTS found(2)\n"
            "   COM1  \n   COM3 *\n********************************\n");

  Click(100 + 190, 460 + 12);  // "Done (Exit)"
  ExpectEnds();
}

TEST_F(LinkProbeRun, ButtonsThatWriteNothingLeaveThePaneAlone) {
  Start();
  struct stat before, after;
  ASSERT_EQ(stat(dump.c_str(), &before), 0);
  // The local sound test (which writes nothing), the tool buttons, and the identity box.
  for (auto [x, y] : {std::pair{172, 280}, {482, 257}, {482, 302}, {482, 347}, {172, 252}}) Click(x, y);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(stat(dump.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // every refresh puts a new file in place
  EXPECT_EQ(program->Wait(0), -1);         // still running

  tree.Write("tavik/BIN/Tconfig.", "changed\n");
  Click(30 + 142, 325 + 15);
  std::string text = ShownAfter(FirstReport);
  EXPECT_EQ(text.rfind("Version       : changed\n", 0), 0u) << text;
  CloseAndExpectEnd();
}

// "Try setting IP address" shows the IP set-up dialog in place of the window; "Done" brings the window
// back. Where the adapters cannot be listed the dialog closes by itself.
TEST_F(LinkProbeRun, IpSetupDialogTakesThePlaceOfTheWindow) {
  Start();
  Click(340 + 127, 380 + 15);  // no sys/class/net in the tree: the listing fails
  ASSERT_TRUE(ShownAgain(Title));

  tree.Write("sys/class/net/eth0/ifindex", "2\n");
  tree.Write("sys/class/net/eth0/ifalias", "Local Area Connection\n");
  Click(340 + 127, 380 + 15);
  using guitest::IsVisible;
  ASSERT_TRUE(Eventually([&] { return IsVisible("^IP setup$") && !IsVisible(Title); }));
  guitest::ClickAt(guitest::FindVisibleWindow("^IP setup$", false), 279, 497);  // "Done"
  EXPECT_TRUE(Eventually([&] { return IsVisible(Title) && !IsVisible("^IP setup$"); }));
  ASSERT_TRUE(ShownAgain(Title));
  CloseAndExpectEnd();
}

TEST_F(LinkProbeRun, GameTestAgainstGameEchoWorks) {
  tree.Write("tavik/PREFERENCES/SETTINGS/DEVS.NIN",
             "DisplayMode = 2\nCommunications_class = Ethernet\nEthernetAddress = 127.0.0.1\nEthernetPort = 5510\n");
  ChildProcess echo(GAMEECHO_PATH, {}, {"TAVIK_ROOT=" + tree.Path("tavik")});
  ASSERT_TRUE(echo.started());
  Start();
  Click(30 + 142, 358 + 12);  // "Test  Game Communications"
  EXPECT_EQ(ShownAfter(FirstReport), std::string(FirstReport) + "Ethernet game communication seems to be working\n");
  CloseAndExpectEnd();
  kill(static_cast<pid_t>(echo.Id()), SIGTERM);
  EXPECT_EQ(echo.Wait(5000), 0);
}

TEST_F(LinkProbeRun, GameSoundTestIsGreyedOutUnlessTwoComputerSetUp) {
  for (bool twoComputers : {true, false}) {
    if (!twoComputers) tree.Write("tavik/PREFERENCES/SETTINGS/DEVS.NIN", "Input_Source = C2+\n");
    Start();
    EXPECT_TRUE(guitest::ShowsBlack(window, 60, 272, 225, 17, 10));          // "Sound Test (this computer)", once drawn
    EXPECT_EQ(guitest::ShowsBlack(window, 60, 300, 225, 17), twoComputers);  // "Sound Test (game computer)"
    CloseAndExpectEnd();
  }
}

TEST_F(LinkProbeRun, AmplifierButtonShowsTheInteractiveCheck) {
  Start();
  Click(30 + 142, 386 + 12);  // "Test Configured Amplifier": C2+ configured, no USB devices
  EXPECT_EQ(ShownAfter(FirstReport),
            "These tests are just to confirm something is there!  Actual 'testing' must be\nperformed with the "
            "Amplifier/Encoder Test in Tavik->Tools\n\nExamining C2+\nUnable to locate J&J device\n"
            "Checking other amplifiers\n\nDone\n");
  CloseAndExpectEnd();
}

TEST_F(LinkProbeRun, CloseBoxEndsWithExitCodeZero) {
  Start();
  CloseAndExpectEnd();
}

TEST_F(LinkProbeRun, EscapeEndsWithExitCodeZero) {
  Start();
  Xdotool("windowfocus --sync " + window + " key Escape");
  ExpectEnds();
}

TEST_F(LinkProbeRun, TitleCarriesTheBuildAndFileDate) {
  Start();
  struct stat st;
  ASSERT_EQ(stat(LINKPROBE_PATH, &st), 0);
  EXPECT_EQ(Xdotool("getwindowname " + window),
            std::string("Tavik Comm Check PB=1.3  ") + std::ctime(&st.st_mtime) + "\n");
  CloseAndExpectEnd();
}

}  // namespace

int main(int argc, char** argv) { return guitest::RunUnderXServer(argc, argv); }
