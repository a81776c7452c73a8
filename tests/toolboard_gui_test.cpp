// toolboard as a user starts it: the real program under a private X server, found by its title with
// xdotool, clicked where its buttons are, its report output read through TAVIK_PANE_DUMP; a
// stand-in shell script takes linkprobe's place.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "fake_port.h"
#include "gui_test_support.h"
#include "toolboard_test_support.h"

namespace {

using guitest::Eventually;
using guitest::Xdotool;
using probetest::FakePort;
using namespace toolboardtest;

// Waits for linkprobe's stand-in to be released (by the file "release"), at most thirty seconds.
const char* const StandIn =
    "echo \"$0\" > started\n"
    "i=0\n"
    "while [ ! -e release ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done\n"
    "echo ended > ended\n";

class ToolboardRun : public ::testing::Test {
 protected:
  ScratchTree tree;
  FakePort com1;
  std::string bin = tree.Path("tavik/BIN");
  std::string dump = tree.Path("report.txt");
  std::unique_ptr<ChildProcess> program;
  std::string window;

  void SetUp() override {
    ASSERT_FALSE(com1.device.empty());
    tree.Write("tavik/BIN/Tconfig.", "Tavik 5.2 demo\n");
    tree.Write("sys/class/tty/.keep", "");  // no machine ports beside the linked ones
    InstallFixture("both32.exe", tree.Path("tavik/Games/Orb.exe"), FirstDate);
    LinkPort(1, com1.device);
  }
  void TearDown() override {
    if (program) program->Wait(500);
  }

  void LinkPort(int n, const std::string& device) {
    std::filesystem::create_directories(tree.Path("tavik/dosdevices"));
    std::filesystem::create_symlink(device, tree.Path("tavik/dosdevices/com" + std::to_string(n)));
  }

  void Start(const std::string& startupDir) {
    std::vector<std::string> env = guitest::ProgramEnvironment(
        {"TAVIK_ROOT=" + tree.Path("tavik"), "TAVIK_SYSFS=" + tree.Path("sys"), "TAVIK_PANE_DUMP=" + dump, "TZ=UTC"},
        TOOLKIT_LEAKS_PATH);
    program = guitest::StartProgram(TOOLBOARD_PATH, {"STARTUPDIR=" + startupDir}, env, bin);
    ASSERT_TRUE(program->started());
    window = guitest::FindVisibleWindow("^Tavik Tech Support Menu");
    ASSERT_FALSE(window.empty()) << "no toolboard window appeared";
  }

  void Click(Point at) { guitest::ClickAt(window, at.x, at.y); }

  // The menu shown again after the IP set-up dialog: the toolkit gives it a new X window.
  bool MenuShownAgain() {
    const std::string old = window;
    return Eventually([&] {
      std::string found = Xdotool("search --onlyvisible --name '^Tavik Tech Support Menu'");
      window = found.substr(0, found.find('\n'));
      return !window.empty() && window != old;
    });
  }
  std::string Shown() const { return ReadWholeFile(dump); }

  void ExitWith(Point button) {
    Click(button);
    EXPECT_EQ(program->Wait(10000), 0);
  }
};

// The platform report after its first line, which names this machine's system.
std::string AfterPlatformLine(const std::string& report) {
  EXPECT_EQ(report.rfind("Platform: ", 0), 0u) << report;
  return report.substr(report.find('\n') + 1);
}

const std::string FirstReportBody = std::string("Tavik (navro) : Unk   Orb (gamedll): PB=2.0    SB=beta  ") +
                                    FirstDateLine + "Version       : Tavik 5.2 demo\n" +
                                    "******************************\nCOMM PORTS found(1)\n   COM1  \n";

TEST_F(ToolboardRun, GameComputerTitleFirstReportAndDone) {
  Start("C:\\Tavik\\Games\\");
  EXPECT_EQ(Xdotool("getwindowname " + window), "Tavik Tech Support Menu 2.3 Game\n");
  EXPECT_EQ(AfterPlatformLine(Shown()), FirstReportBody);
  ExitWith(DoneExit);
}

TEST_F(ToolboardRun, EmptyRoleTitleEndsInABlankAndTheCloseBoxEnds) {
  Start("/srv/tools/");
  EXPECT_EQ(Xdotool("getwindowname " + window), "Tavik Tech Support Menu 2.3 \n");
  guitest::SendCloseRequest(window);
  EXPECT_EQ(program->Wait(10000), 0);
}

TEST_F(ToolboardRun, ReportButtonsChangeTheReportOutput) {
  Start("C:\\Tavik\\BIN\\");
  const std::string first = Shown();
  Click(ReportSoftware);
  ASSERT_TRUE(Eventually([&] { return Shown() != first; }));
  EXPECT_EQ(Shown().rfind(std::string("Navro not found - must be game\nOrb (gamedll)     : PB=2.0    SB=beta  ") +
                              FirstDateLine + "Aquarium is not installed\n",
                          0),
            0u)
      << Shown();

  // A second port that another program holds, and a new configuration version.
  FakePort com3;
  LinkPort(3, com3.device);
  int held = open(com3.device.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  tree.Write("tavik/BIN/Tconfig.", "Tavik 5.3\n");
  const std::string software = Shown();
  Click(RescanPorts);
  ASSERT_TRUE(Eventually([&] { return Shown() != software; }));
  close(held);
  EXPECT_EQ(
      AfterPlatformLine(Shown()),
      std::string("Tavik (navro) : Unk   Orb (gamedll): PB=2.0    SB=beta  ") + FirstDateLine +
          "Version       : Tavik 5.3\n******************************\nCOMM PORTS found(2)\n   COM1  \n   COM3 *\n");
  ExitWith(DoneExit);
}

TEST_F(ToolboardRun, TestToolRunsToItsEndBeforeTheMenuReactsAgain) {
  WriteScript(tree, "tavik/BIN/linkprobe", StandIn);
  Start("C:\\Tavik\\BIN\\");
  const std::string first = Shown();
  Click(RunTestTool);
  ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(tree.Path("tavik/BIN/started")); }));
  EXPECT_EQ(ReadWholeFile(tree.Path("tavik/BIN/started")), "linkprobe\n");

  // While the child runs, a click on the menu changes nothing, yet the menu still paints: "Done (Exit)",
  // uncovered meanwhile, is drawn again.
  Click(ReportSoftware);
  guitest::CoverAndUncover(window, 100, 475, 380, 25);
  EXPECT_TRUE(guitest::ShowsBlack(window, 110, 478, 360, 19, 3));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(Shown(), first);
  EXPECT_FALSE(std::filesystem::exists(tree.Path("tavik/BIN/ended")));

  // Once it ends the menu takes events again (the click made meanwhile comes through now).
  tree.Write("tavik/BIN/release", "");
  ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(tree.Path("tavik/BIN/ended")); }));
  EXPECT_TRUE(Eventually([&] { return Shown().rfind("Navro not found - must be game\n", 0) == 0; })) << Shown();
  ExitWith(DoneExit);
}

TEST_F(ToolboardRun, TestToolMissingAtStartStaysGreyedOut) {
  Start("C:\\Tavik\\BIN\\");
  WriteScript(tree, "tavik/BIN/linkprobe", StandIn);  // too late: decided at start-up
  tree.Write("tavik/BIN/release", "");
  tree.Write("tavik/BIN/Tconfig.", "Tavik 5.4\n");
  const std::string first = Shown();
  Click(RunTestTool);
  Click(RescanPorts);  // once the rescan shows, the click before it has been handled too
  ASSERT_TRUE(Eventually([&] { return Shown() != first; }));
  EXPECT_FALSE(std::filesystem::exists(tree.Path("tavik/BIN/started")));
  ExitWith(DoneExit);
}

TEST_F(ToolboardRun, IpSetupDialogTakesTheMenusPlaceUntilDone) {
  tree.Write("sys/class/net/.keep", "");  // an adapter list that can be read (and holds nothing)
  Start("C:\\Tavik\\BIN\\");
  Click(TryIpSetup);
  std::string dialog = guitest::FindVisibleWindow("^IP setup$");
  ASSERT_FALSE(dialog.empty());
  EXPECT_NE(Xdotool("getwindowgeometry " + dialog).find("Geometry: 632x557"), std::string::npos);
  EXPECT_TRUE(Eventually([&] { return Xdotool("search --onlyvisible --name '^Tavik Tech Support Menu'").empty(); }));

  guitest::ClickAt(dialog, DialogDone.x, DialogDone.y);
  ASSERT_TRUE(MenuShownAgain());
  ExitWith(DoneExit);
}

TEST_F(ToolboardRun, IpSetupDialogClosesAtOnceWhenTheAdaptersCannotBeRead) {
  Start("C:\\Tavik\\BIN\\");  // the scratch system tree has no network class
  tree.Write("tavik/BIN/Tconfig.", "Tavik 5.4\n");
  const std::string first = Shown();
  Click(TryIpSetup);
  ASSERT_TRUE(MenuShownAgain());
  Click(RescanPorts);  // the menu takes clicks again
  EXPECT_TRUE(Eventually([&] { return Shown() != first; }));
  ExitWith(DoneExit);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new guitest::XServer);
  return RUN_ALL_TESTS();
}
