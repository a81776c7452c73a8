// toolboard as a user starts it: the real program under a private X server, found by its title with
// xdotool, clicked where its buttons are, its report output read through TAVIK_PANE_DUMP; a
// stand-in shell script takes linkprobe's place.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "fake_port.h"
#include "gui_test_support.h"
#include "toolboard_test_support.h"

namespace {

using guitest::Xdotool;
using probetest::FakePort;
using probetest::HeldPort;
using namespace toolboardtest;

const char* const Title = "^Tavik Tech Support Menu";
// Waits for linkprobe's stand-in to be released (by the file "release"), at most thirty seconds.
const char* const StandIn =
    "echo \"$0\" > started\n"
    "i=0\n"
    "while [ ! -e release ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done\n"
    "echo ended > ended\n";

class ToolboardRun : public guitest::ProgramRun {
 protected:
  FakePort com1;

  void SetUp() override {
    ASSERT_FALSE(com1.device.empty());
    tree.Write("tavik/BIN/Tconfig.", "Tavik 5.2 demo\n");
    tree.Write("sys/class/tty/.keep", "");  // no machine ports beside the linked ones
    InstallFixture("both32.exe", tree.Path("tavik/Games/Orb.exe"), FirstDate);
    LinkPort(1, com1.device);
  }
  void Start(const std::string& startupDir = "C:\\Tavik\\BIN\\") {
    Launch(TOOLBOARD_PATH, startupDir, tree.Path("tavik/BIN"), {"TZ=UTC"}, Title);
  }
  void Click(Point at) { ProgramRun::Click(at.x, at.y); }
  bool InBin(const char* file) const { return std::filesystem::exists(tree.Path("tavik/BIN/") + file); }
  void ExitWith(Point button) {
    Click(button);
    ExpectEnds();
  }
};

// The platform report after its first line, which names this machine's system.
std::string AfterPlatformLine(const std::string& report) {
  EXPECT_EQ(report.rfind("Platform: ", 0), 0u) << report;
  return report.substr(report.find('\n') + 1);
}

const std::string ProgramRows =
    std::string("Tavik (navro) : Unk   Orb (gamedll): PB=2.0    SB=beta  ") + FirstDateLine + "Version       : ";

TEST_F(ToolboardRun, GameComputerTitleFirstReportAndDone) {
  Start("C:\\Tavik\\Games\\");
  EXPECT_EQ(Xdotool("getwindowname " + window), "Tavik Tech Support Menu 2.3 Game\n");
  EXPECT_EQ(AfterPlatformLine(Shown()),
            ProgramRows + "Tavik 5.2 demo\n******************************\nCOMM PORTS found(1)\n   COM1  \n");
  ExitWith(DoneExit);
}

TEST_F(ToolboardRun, EmptyRoleTitleEndsInABlankAndTheCloseBoxEnds) {
  Start("/srv/tools/");
  EXPECT_EQ(Xdotool("getwindowname " + window), "Tavik Tech Support Menu 2.3 \n");
  CloseAndExpectEnd();
}

TEST_F(ToolboardRun, ReportButtonsChangeTheReportOutput) {
  Start();
  const std::string first = Shown();
  Click(ReportSoftware);
  ASSERT_TRUE(ShownChangesFrom(first));
  const std::string software = Shown();
  EXPECT_EQ(software.rfind(std::string("Navro not found - must be game\nOrb (gamedll)     : PB=2.0    SB=beta  ") +
                               FirstDateLine + "Aquarium is not installed\n",
                           0),
            0u)
      << software;

  // A second port that another program holds, and a new configuration version.
  FakePort com3;
  LinkPort(3, com3.device);
  HeldPort held(com3.device);
  ASSERT_TRUE(held.locked);
  tree.Write("tavik/BIN/Tconfig.", "Tavik 5.3\n");
  Click(RescanPorts);
  ASSERT_TRUE(ShownChangesFrom(software));
  EXPECT_EQ(AfterPlatformLine(Shown()),
            ProgramRows + "Tavik 5.3\n******************************\nCOMM PORTS found(2)\n   COM1  \n   COM3 *\n");
  ExitWith(DoneExit);
}

TEST_F(ToolboardRun, TestToolRunsToItsEndBeforeTheMenuReactsAgain) {
  WriteScript(tree, "tavik/BIN/linkprobe", StandIn);
  Start();
  const std::string first = Shown();
  Click(RunTestTool);
  ASSERT_TRUE(Eventually([&] { return InBin("started"); }));
  EXPECT_EQ(ReadWholeFile(tree.Path("tavik/BIN/started")), "linkprobe\n");

  // While the child runs, a click on the menu changes nothing, yet the menu still paints: "Done (Exit)",
  // uncovered meanwhile, is drawn again.
  Click(ReportSoftware);
  guitest::CoverAndUncover(window, 100, 475, 380, 25);
  EXPECT_TRUE(guitest::ShowsBlack(window, 110, 478, 360, 19, 3));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(Shown(), first);
  EXPECT_FALSE(InBin("ended"));

  // Once it ends the menu takes events again (the click made meanwhile comes through now).
  tree.Write("tavik/BIN/release", "");
  ASSERT_TRUE(Eventually([&] { return InBin("ended"); }));
  EXPECT_TRUE(Eventually([&] { return Shown().rfind("Navro not found - must be game\n", 0) == 0; })) << Shown();
  ExitWith(DoneExit);
}

TEST_F(ToolboardRun, TestToolMissingAtStartStaysGreyedOut) {
  Start();
  WriteScript(tree, "tavik/BIN/linkprobe", StandIn);  // too late: decided at start-up
  tree.Write("tavik/BIN/release", "");
  tree.Write("tavik/BIN/Tconfig.", "Tavik 5.4\n");
  const std::string first = Shown();
  Click(RunTestTool);
  Click(RescanPorts);  // once the rescan shows, the click before it has been handled too
  ASSERT_TRUE(ShownChangesFrom(first));
  EXPECT_FALSE(InBin("started"));
  ExitWith(DoneExit);
}

TEST_F(ToolboardRun, IpSetupDialogTakesTheMenusPlaceUntilDone) {
  tree.Write("sys/class/net/.keep", "");  // an adapter list that can be read (and holds nothing)
  Start();
  Click(TryIpSetup);
  std::string dialog = guitest::FindVisibleWindow("^IP setup$");
  ASSERT_FALSE(dialog.empty());
  EXPECT_NE(Xdotool("getwindowgeometry " + dialog).find("Geometry: 632x557"), std::string::npos);
  EXPECT_TRUE(Eventually([&] { return !guitest::IsVisible(Title); }));

  guitest::ClickAt(dialog, DialogDone.x, DialogDone.y);
  ASSERT_TRUE(ShownAgain(Title));
  ExitWith(DoneExit);
}

TEST_F(ToolboardRun, IpSetupDialogClosesAtOnceWhenTheAdaptersCannotBeRead) {
  Start();  // the scratch system tree has no network class
  tree.Write("tavik/BIN/Tconfig.", "Tavik 5.4\n");
  const std::string first = Shown();
  Click(TryIpSetup);
  ASSERT_TRUE(ShownAgain(Title));
  Click(RescanPorts);  // the menu takes clicks again
  EXPECT_TRUE(ShownChangesFrom(first));
  ExitWith(DoneExit);
}

}  // namespace

int main(int argc, char** argv) { return guitest::RunUnderXServer(argc, argv); }
