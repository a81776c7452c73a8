// toolboard's logic and its menu window as built, never shown: the start-up decisions (the start directory,
// the station role and the title it gives), the window's children in creation order with their geometry,
// labels and colours, the greying out of missing sibling programs and what the buttons do, and how those
// programs are found and run (relative to the current directory, suite paths under the root, ".exe" as
// given then without; the wait for their end keeps the windows painted or waits plainly). Then the platform
// and ports report and the installed software report, byte for byte, over a scratch suite tree holding
// Windows program files with version resources, pseudo-terminals linked as COM ports and media players put
// where the report looks for them.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <FL/Fl_Button.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Scroll.H>
#include <FL/Fl_Window.H>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "appbase/painted_wait.h"
#include "appbase/startup_directory.h"
#include "fake_port.h"
#include "installed_program.h"
#include "menu_startup.h"
#include "menu_window.h"
#include "program_launch.h"
#include "software_report.h"
#include "sysutil/host_address.h"
#include "sysutil/version_info.h"
#include "toolboard_state.h"
#include "toolboard_test_support.h"

namespace {

using namespace toolboardtest;
using probetest::FakePort;
using Clock = std::chrono::steady_clock;

std::string TitleFor(const char* commandLine) {
  PrepareMenuStartup(commandLine);
  char title[TitleTextSize];
  FormatMenuTitle(title, sizeof title, StationRole);
  return title;
}

TEST(MenuTitleTest, NamesTheRoleOfTheStartDirectory) {
  EXPECT_EQ(TitleFor("STARTUPDIR=C:\\Tavik\\BIN\\"), "Tavik Tech Support Menu 2.3 Therapist");
  EXPECT_EQ(TitleFor("STARTUPDIR=C:\\Tavik\\Games\\"), "Tavik Tech Support Menu 2.3 Game");
  EXPECT_EQ(TitleFor("STARTUPDIR=c:\\tavik\\games\\"), "Tavik Tech Support Menu 2.3 Game");
  EXPECT_EQ(TitleFor("STARTUPDIR=C:\\Tools\\"), "Tavik Tech Support Menu 2.3 ");  // ends in a blank
  EXPECT_STREQ(StartupDirectory, "C:\\Tools\\");
}

TEST(MenuTitleTest, StartupDirArgumentAnywhereOverridesTheOwnDirectory) {
  EXPECT_EQ(TitleFor("-x STARTUPDIR=C:\\Tavik\\Games\\"), "Tavik Tech Support Menu 2.3 Game");
  EXPECT_STREQ(StartupDirectory, "C:\\Tavik\\Games\\");
  // An overlong directory is cut to fit.
  TitleFor(("STARTUPDIR=" + std::string(1000, 'd')).c_str());
  EXPECT_EQ(std::strlen(StartupDirectory), ModulePathSize - 1);
}

TEST(MenuTitleTest, TitleIsCutAtItsLimit) {
  char title[TitleTextSize];
  std::string role(500, 'r');
  FormatMenuTitle(title, sizeof title, role.c_str());
  EXPECT_EQ(std::strlen(title), TitleTextSize - 1);
}

// A suite tree whose program folder is the current directory, with the Signalbay folder beside it.
class MenuActionsTest : public ::testing::Test {
 protected:
  ScratchTree tree;
  ScopedEnv root{"TAVIK_ROOT", tree.Path("tavik")};
  ScopedEnv sysfs{"TAVIK_SYSFS", tree.Path("sys")};
  ScopedEnv dump{"TAVIK_PANE_DUMP", tree.Path("report.txt")};
  ScopedCurrentDirectory here{tree.Path("tavik/BIN")};
  ToolboardState state;

  void SetUp() override { tree.Write("sys/class/tty/.keep", ""); }
};
using LaunchTest = MenuActionsTest;

class SiblingProgramsTest : public MenuActionsTest {
 protected:
  std::string bin = tree.Path("tavik/BIN");

  // Which of Signalbay, the comm recorder, Wiretrace and linkprobe were found, as four digits.
  std::string Find() {
    ScopedCurrentDirectory there(bin);
    SiblingPrograms found = FindSiblingPrograms();
    return std::to_string(found.signalbay) + std::to_string(found.commRecorder) + std::to_string(found.wiretrace) +
           std::to_string(found.linkProbe);
  }
};

TEST_F(SiblingProgramsTest, AllMissing) {
  EXPECT_EQ(Find(), "0000");
  EXPECT_STREQ(SignalbayPath, "c:\\Tavik\\Signalbay\\Quillon.exe");  // the second candidate stays
}

TEST_F(SiblingProgramsTest, AllPresentBesideTheCurrentDirectory) {
  for (const char* file :
       {"tavik/BIN/cmltap.exe", "tavik/BIN/linkprobe", "tavik/Signalbay/wiretrace", "tavik/Signalbay/Quillon.exe"}) {
    WriteScript(tree, file, "exit 0\n");
  }
  EXPECT_EQ(Find(), "1111");  // "linkprobe.exe" is found without its ".exe"
  EXPECT_STREQ(SignalbayPath, "..\\Signalbay\\Quillon.exe");
}

TEST_F(SiblingProgramsTest, SignalbayFallsBackToTheInstalledCopy) {
  WriteScript(tree, "tavik/SIGNALBAY/quillon.exe", "exit 0\n");
  // The current directory is elsewhere, so the near candidate is missing.
  bin = tree.Path("elsewhere");
  EXPECT_EQ(Find().substr(0, 3), "100");  // Signalbay, and no Wiretrace beside it
  EXPECT_STREQ(SignalbayPath, "c:\\Tavik\\Signalbay\\Quillon.exe");
}

TEST_F(SiblingProgramsTest, RelativePathsCountFromTheCurrentDirectoryNotTheStartDirectory) {
  WriteScript(tree, "tavik/BIN/cmltap", "exit 0\n");
  PrepareMenuStartup("STARTUPDIR=C:\\Tavik\\BIN\\");
  bin = tree.Path("tavik");
  EXPECT_EQ(Find()[1], '0');  // the comm recorder
}

struct ExpectedChild {
  int x, y, w, h;
  const char* label;
  Fl_Color colour;
};

// The window's own children in creation order: the scroll group (which holds the report output),
// the identity box, then the fifteen buttons.
const ExpectedChild Children[] = {
    {25, 10, 545, 155, nullptr, FL_GRAY},
    {30, 170, 285, 25, nullptr, 254},
    {30, 200, 285, 25, "Run Signalbay", FL_GRAY},
    {30, 260, 285, 25, "Run Communications Test Tool", 174},
    {30, 320, 285, 25, "Run comm recorder console", FL_GRAY},
    {30, 290, 285, 25, "Run Wiretrace", FL_GRAY},
    {30, 350, 285, 25, "Rescan serial ports", FL_GRAY},
    {30, 380, 285, 25, "Report installed software", FL_GRAY},
    {402, 171, 190, 30, "Start My Computer", FL_GRAY},
    {402, 205, 190, 30, "Start Device Manager", 175},
    {402, 240, 190, 30, "Start dxdiag", FL_GRAY},
    {400, 275, 190, 30, "Start Control Panel", 213},
    {402, 310, 190, 30, "Start msinfo", FL_GRAY},
    {402, 345, 190, 30, "Start Network Connections", 229},
    {402, 380, 190, 30, "Start cmd", FL_GRAY},
    {340, 440, 255, 30, "Try setting IP address", 133},
    {100, 475, 380, 25, "Done (Exit)", 19},
};

Fl_Widget* FindButton(Fl_Window* window, const char* label) {
  for (int i = 0; i < window->children(); ++i) {
    const char* text = window->child(i)->label();
    if (text != nullptr && std::string(text) == label) return window->child(i);
  }
  return nullptr;
}

TEST(MenuWindowTest, ChildrenInCreationOrderWithTheirGeometryAndColours) {
  ToolboardState state;
  MenuWindow menu(state);
  Fl_Window* window = menu.Window();
  EXPECT_EQ(window->w(), 599);
  EXPECT_EQ(window->h(), 518);
  EXPECT_STREQ(window->label(), "Tavik Tech Support Menu");
  EXPECT_EQ(window->user_data(), &menu);
  EXPECT_FALSE(window->shown());

  ASSERT_EQ(window->children(), 17);
  auto* scroll = dynamic_cast<Fl_Scroll*>(window->child(0));
  ASSERT_NE(scroll, nullptr);
  EXPECT_EQ(window->resizable(), scroll);
  auto* report = dynamic_cast<Fl_Output*>(scroll->resizable());
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->type(), FL_MULTILINE_OUTPUT);
  EXPECT_EQ(report->parent(), scroll);
  EXPECT_EQ((std::array{report->x(), report->y(), report->w(), report->h()}), (std::array{25, 10, 545, 150}));
  auto* identity = dynamic_cast<Fl_Output*>(window->child(1));
  ASSERT_NE(identity, nullptr);
  EXPECT_EQ(identity->labeltype(), FL_NO_LABEL);

  for (int i = 0; i < 17; ++i) {
    SCOPED_TRACE(i);
    const ExpectedChild& expected = Children[i];
    Fl_Widget* child = window->child(i);
    EXPECT_EQ((std::array{child->x(), child->y(), child->w(), child->h()}),
              (std::array{expected.x, expected.y, expected.w, expected.h}));
    EXPECT_EQ(child->color(), expected.colour);
    if (expected.label != nullptr) {
      ASSERT_NE(dynamic_cast<Fl_Button*>(child), nullptr);
      EXPECT_STREQ(child->label(), expected.label);
      EXPECT_EQ(child->active() != 0, i != 3) << "only the test tool's button is created greyed out";
    }
  }
  EXPECT_TRUE(window->child(13)->align() & FL_ALIGN_WRAP);
}

TEST_F(MenuActionsTest, MissingSiblingProgramsAreGreyedOut) {
  // Whether each button is active once a new menu has looked for the sibling programs: the four
  // that run one, then six others.
  auto active = [&] {
    MenuWindow menu(state);
    menu.ApplySiblingPrograms(FindSiblingPrograms());
    std::string digits;
    for (const char* label : {"Run Signalbay", "Run Communications Test Tool", "Run comm recorder console",
                              "Run Wiretrace", "Rescan serial ports", "Report installed software", "Start My Computer",
                              "Start cmd", "Try setting IP address", "Done (Exit)"})
      digits += FindButton(menu.Window(), label)->active() ? '1' : '0';
    return digits;
  };
  EXPECT_EQ(active(), "0000111111");
  WriteScript(tree, "tavik/BIN/linkprobe", "exit 0\n");
  WriteScript(tree, "tavik/BIN/cmltap.exe", "exit 0\n");
  WriteScript(tree, "tavik/Signalbay/Quillon", "exit 0\n");
  EXPECT_EQ(active(), "1110111111");
}

TEST_F(MenuActionsTest, SiblingButtonsRunTheirProgramToItsEnd) {
  WriteScript(tree, "tavik/BIN/linkprobe", "sleep 0.3\necho \"$0 $#\" > linkprobe.ran\n");
  WriteScript(tree, "tavik/Signalbay/Quillon.exe", "echo \"$0\" > ../BIN/quillon.ran\n");
  MenuWindow menu(state);
  menu.ApplySiblingPrograms(FindSiblingPrograms());
  auto before = std::chrono::steady_clock::now();
  FindButton(menu.Window(), "Run Communications Test Tool")->do_callback();
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
  EXPECT_EQ(ReadWholeFile(tree.Path("tavik/BIN/linkprobe.ran")), "linkprobe 0\n");
  FindButton(menu.Window(), "Run Signalbay")->do_callback();
  EXPECT_EQ(ReadWholeFile(tree.Path("tavik/BIN/quillon.ran")), "../Signalbay/Quillon.exe\n");
}

TEST_F(MenuActionsTest, ReportButtonsReplaceTheReportOutput) {
  MenuWindow menu(state);
  auto* report = dynamic_cast<Fl_Output*>(dynamic_cast<Fl_Scroll*>(menu.Window()->child(0))->resizable());
  auto* identity = dynamic_cast<Fl_Output*>(menu.Window()->child(1));
  FindButton(menu.Window(), "Rescan serial ports")->do_callback();
  EXPECT_EQ(std::string(report->value()).rfind("Platform: ", 0), 0u) << report->value();
  EXPECT_EQ(state.report.Text(), report->value());
  EXPECT_EQ(ReadWholeFile(tree.Path("report.txt")), report->value());
  EXPECT_EQ(state.identity.Text(), identity->value());

  FindButton(menu.Window(), "Report installed software")->do_callback();
  EXPECT_EQ(std::string(report->value()).rfind("Navro not found - must be game\n", 0), 0u) << report->value();
  EXPECT_EQ(ReadWholeFile(tree.Path("report.txt")), report->value());
}

TEST_F(MenuActionsTest, DoneAndTheCloseBoxEndTheEventLoop) {
  MenuWindow menu(state);
  FindButton(menu.Window(), "Done (Exit)")->do_callback();
  EXPECT_TRUE(menu.ExitRequested());
  MenuWindow closed(state);
  closed.Window()->do_callback();
  EXPECT_TRUE(closed.ExitRequested());
}

TEST_F(LaunchTest, ProgramFilesAreFoundByTheSuitesRules) {
  EXPECT_EQ(LocateProgramFile("linkprobe.exe"), "");
  WriteScript(tree, "tavik/BIN/linkprobe", "exit 0\n");
  EXPECT_EQ(LocateProgramFile("linkprobe.exe"), "linkprobe");
  WriteScript(tree, "tavik/BIN/linkprobe.exe", "exit 0\n");
  EXPECT_EQ(LocateProgramFile("linkprobe.exe"), "linkprobe.exe");  // as given comes first

  WriteScript(tree, "tavik/Signalbay/wiretrace", "exit 0\n");
  EXPECT_EQ(LocateProgramFile("..\\Signalbay\\wiretrace.exe"), "../Signalbay/wiretrace");
  EXPECT_EQ(LocateProgramFile("c:\\TAVIK\\SIGNALBAY\\wiretrace.exe"), tree.Path("tavik/Signalbay/wiretrace"));
  EXPECT_EQ(LocateProgramFile("..\\Signalbay\\Quillon.exe"), "");
  EXPECT_EQ(LocateProgramFile(""), "");
}

TEST_F(LaunchTest, ChildGetsItsPathAloneAndRunsToItsEnd) {
  WriteScript(tree, "tavik/BIN/cmltap", "sleep 0.4\necho \"$0|$#|$(pwd)\" > started.txt\nexit 7\n");
  auto before = Clock::now();
  EXPECT_EQ(RunProgramAndWait("cmltap.exe"), 7);
  EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(400));
  EXPECT_EQ(ReadWholeFile(tree.Path("tavik/BIN/started.txt")),
            "cmltap|0|" + std::filesystem::canonical(tree.Path("tavik/BIN")).string() + "\n");
}

TEST_F(LaunchTest, MissingOrUnstartableProgramReturnsAtOnce) {
  auto before = Clock::now();
  EXPECT_EQ(RunProgramAndWait("cmltap.exe"), -1);
  tree.Write("tavik/BIN/cmltap", "not a program");  // present, but not executable
  EXPECT_EQ(RunProgramAndWait("cmltap.exe"), -1);
  EXPECT_LT(Clock::now() - before, std::chrono::seconds(1));
}

// In a child process that may start no thread, as when its user has reached the process limit: the
// painted wait then runs the work itself instead of throwing out of the button's callback. Exit codes: 0
// the work's result came back, 1 a wrong result, 2 no such limit could be set here, 3 the wait threw.
int PaintedWaitWithoutThreads() {
  // The limit does not hold for root: the child becomes an ordinary user first.
  if (geteuid() == 0 && setuid(65534) != 0) return 2;
  const rlimit none{0, 0};
  if (setrlimit(RLIMIT_NPROC, &none) != 0) return 2;
  try {
    std::thread([] {}).join();
    return 2;
  } catch (const std::system_error&) {
  }
  SetPaintPump([] {});
  try {
    return RunKeepingWindowsPainted([] { return 42; }) == 42 ? 0 : 1;
  } catch (const std::system_error&) {
    return 3;
  }
}

TEST(PaintedWait, WorkRunsOnTheCallersThreadWhenNoThreadCanStart) {
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) _exit(PaintedWaitWithoutThreads());  // _exit: no leak check, which needs a thread
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  const int code = WEXITSTATUS(status);
  if (code == 2) GTEST_SKIP() << "this system let the child start a thread over its process limit";
  EXPECT_EQ(code, 0) << (code == 3 ? "the wait threw" : "the work's result was lost");
}

const HostNetworkSource FakeNetwork = {
    [](char* buffer, std::size_t size) {
      std::snprintf(buffer, size, "therapist");
      return true;
    },
    [](std::vector<InterfaceAddress>& out) {
      out = {InterfaceAddress{"eth0", 2, true, false, {192, 168, 10, 1}}};
      return true;
    },
    [](const char*, std::uint8_t*) { return false; },
};

// The media players' Windows paths lead into the scratch tree; everything else goes the system's way.
std::map<std::string, std::string> playerPlaces;

std::string FakeLocator(const char* path) {
  auto found = playerPlaces.find(path);
  return found != playerPlaces.end() ? found->second : InstalledProgramFile(path);
}

const char* const VlcFirst = "c:\\Progra~1\\VideoLan\\VLC\\VLC.exe";
const char* const VlcSecond = "c:\\Program Files (x86)\\VideoLan\\VLC\\VLC.exe";
const char* const MpcFirst = "c:\\Progra~1\\MPC-HC\\mpc-hc.exe";
const char* const MpcSecond = "c:\\Program Files (x86)\\MPC-HC\\mpc-hc.exe";

// No machine ports in the tree: only the linked ones count.
class SoftwareReportTest : public MenuActionsTest {
 protected:
  UtcTime utc;
  InstalledPrograms programs{FakeLocator};

  void SetUp() override {
    MenuActionsTest::SetUp();
    SetHostNetworkSource(&FakeNetwork);
    playerPlaces = {{VlcFirst, tree.Path("opt/vlc")},
                    {VlcSecond, tree.Path("flatpak/vlc")},
                    {MpcFirst, tree.Path("opt/mpv")},
                    {MpcSecond, tree.Path("flatpak/mpv")}};
    PlatformCode = 111;
  }
  void TearDown() override { SetHostNetworkSource(nullptr); }

  void Install(const std::string& fixture, const std::string& relative, time_t when = FirstDate) {
    InstallFixture(fixture, tree.Path(relative), when);
  }
  // The main program and the game server in both folders, alike.
  void InstallTherapist() {
    Install("full64.exe", "tavik/BIN/navro.exe");
    Install("both32.exe", "tavik/Games/Orb.exe");
    Install("both32.exe", "tavik/BIN/Orb.exe");
  }
  void LinkPort(int n, const std::string& device) { tree.Link("tavik/dosdevices/com" + std::to_string(n), device); }

  std::string PlatformLine() const {
    return "Platform: 111 (" + std::string(GetPlatformName()) + ") " + (Is64BitOs() ? "64" : "32") + "-bit OS\n";
  }
  // What the report output shows after each report; its dump must show the same.
  std::string Shown() const {
    EXPECT_EQ(ReadWholeFile(tree.Path("report.txt")), state.report.Text());
    return state.report.Text();
  }
  std::string Software() { return ReportInstalledSoftware(state.report, programs), Shown(); }
  std::string Platform() { return ReportPlatformAndPorts(state), Shown(); }
};

const std::string Stars30 = "******************************\n";

TEST_F(SoftwareReportTest, PlatformReportWithBothProgramsConfigAndFreeAndBusyPorts) {
  InstallTherapist();
  tree.Write("tavik/BIN/TCONFIG.", "Tavik 5.2.1 (2026-11)\nsecond line is not read\n");
  FakePort com1, com3;
  LinkPort(1, com1.device);
  LinkPort(3, com3.device);
  probetest::HeldPort held(com3.device);
  ASSERT_TRUE(held.locked);
  EXPECT_EQ(Platform(), PlatformLine() + "Tavik (navro) : PB=1.3  " + FirstDateLine +
                            "   Orb (gamedll): PB=2.0    SB=beta  " + FirstDateLine +
                            "Version       : Tavik 5.2.1 (2026-11)\n" + Stars30 + "COMM PORTS found(2)\n" +
                            "   COM1  \n   COM3 *\n");
  EXPECT_EQ(state.identity.Text(), "I am therapist (192.168.10.1)");
}

TEST_F(SoftwareReportTest, PlatformReportWithMissingProgramsRunsTheRowsTogether) {
  tree.Write("tavik/BIN/Tconfig", "Tavik 5.2\n");  // the name Windows gives to Tconfig.
  EXPECT_EQ(Platform(), PlatformLine() + "Tavik (navro) : Unk   Orb (gamedll): UnkVersion       : Tavik 5.2\n" +
                            Stars30 + "COMM PORTS found(NONE)\n");

  // No configuration file: no version line at all. A port that vanished is no longer listed.
  tree.Remove("tavik/BIN/Tconfig");
  FakePort com2;
  LinkPort(2, com2.device);
  EXPECT_EQ(Platform(),
            PlatformLine() + "Tavik (navro) : Unk   Orb (gamedll): Unk" + Stars30 + "COMM PORTS found(1)\n   COM2  \n");
  tree.Remove("tavik/dosdevices/com2");
  EXPECT_EQ(Platform(),
            PlatformLine() + "Tavik (navro) : Unk   Orb (gamedll): Unk" + Stars30 + "COMM PORTS found(NONE)\n");
}

// The rows of a computer with nothing installed but what each test adds, after the game server's row.
const std::string NoGamesBeforePlayers =
    "Aquarium is not installed\nLumenfall Racer is not installed\nLumenfall Garden is not installed\n"
    "Lumenfall Kites is not installed\n";
const std::string NoLastGame = "Skyhaven Voyage is not installed\n";
const std::string NoPlayers = "VLC is not installed\nMPC-HC is not installed\n";

TEST_F(SoftwareReportTest, TherapistWithIdenticalGameServersGamesAndPlayers) {
  InstallTherapist();
  Install("sbonly64.exe", "tavik/Games/Aquarium.exe");
  Install("full32.exe", "tavik/lumenfall/racer/RACER.EXE", SecondDate);
  Install("noversion64.exe", "tavik/Skyhaven/Voyage/Voyage.exe");
  Install("full64.exe", "opt/vlc", SecondDate);
  Install("sbonly32.exe", "flatpak/mpv");

  EXPECT_EQ(Software(), std::string("Tavik (navro)    : PB=1.3  ") + FirstDateLine +
                            "Orb (gamedll)     : PB=2.0    SB=beta  " + FirstDateLine + "Aquarium  65535.0.1.65535  " +
                            FirstDateLine + "Lumenfall Racer  1.0.0.3  " + SecondDateLine +
                            "Lumenfall Garden is not installed\n"  // the missing mode-1 game adds nothing
                            "Lumenfall Kites is not installed\n"
                            "VLC  1.0.0.3  " +
                            SecondDateLine + "MPC-HC  65535.0.1.65535  " + FirstDateLine + "Skyhaven Voyage  Unk  " +
                            FirstDateLine);
}

TEST_F(SoftwareReportTest, GameServerCopiesThatDifferAreFlagged) {
  InstallTherapist();
  const std::string head = std::string("Tavik (navro)    : PB=1.3  ") + FirstDateLine +
                           "Orb (gamedll)     : PB=2.0    SB=beta  " + FirstDateLine;
  const std::string tail = NoGamesBeforePlayers + NoPlayers + NoLastGame;
  EXPECT_EQ(Software(), head + tail);

  SetModificationTime(tree.Path("tavik/BIN/Orb.exe"), SecondDate);  // same build strings, another date
  EXPECT_EQ(Software(), head + "***GAMEDLL VERSIONS DIFFER***\n" + tail);

  Install("sbonly32.exe", "tavik/BIN/Orb.exe");  // another build, the same date
  EXPECT_EQ(Software(), head + "***GAMEDLL VERSIONS DIFFER***\n" + tail);

  tree.Remove("tavik/BIN/Orb.exe");  // no copy at all
  EXPECT_EQ(Software(), head + "***GAMEDLL VERSIONS DIFFER***\n" + tail);
}

TEST_F(SoftwareReportTest, GameComputerNeverComparesTheGameServers) {
  Install("both32.exe", "tavik/Games/Orb.exe");
  Install("sbonly32.exe", "tavik/BIN/Orb.exe", SecondDate);
  const std::string expected = std::string("Navro not found - must be game\nOrb (gamedll)     : PB=2.0    SB=beta  ") +
                               FirstDateLine + NoGamesBeforePlayers + NoPlayers + NoLastGame;
  EXPECT_EQ(Software(), expected);

  // A main program without build strings counts as missing too.
  Install("nostrings64.exe", "tavik/BIN/navro.exe");
  EXPECT_EQ(Software(), expected);

  tree.Remove("tavik/Games/Orb.exe");
  EXPECT_EQ(Software(),
            "Navro not found - must be game\nOrb (gamedll)     : Unk" + NoGamesBeforePlayers + NoPlayers + NoLastGame);
}

TEST_F(SoftwareReportTest, MediaPlayersFromTheirFirstPlaceElseTheSecond) {
  const std::string head = "Navro not found - must be game\nOrb (gamedll)     : Unk" + NoGamesBeforePlayers;
  Install("full64.exe", "opt/vlc");
  Install("sbonly64.exe", "flatpak/vlc", SecondDate);  // both places: the first wins
  Install("both64.exe", "flatpak/mpv", SecondDate);    // only the second place
  EXPECT_EQ(Software(), head + "VLC  1.0.0.3  " + FirstDateLine + "MPC-HC  5.6.7.8  " + SecondDateLine + NoLastGame);

  tree.Remove("opt/vlc");
  tree.Remove("flatpak/mpv");
  EXPECT_EQ(Software(), head + "VLC  65535.0.1.65535  " + SecondDateLine + "MPC-HC is not installed\n" + NoLastGame);

  tree.Remove("flatpak/vlc");
  EXPECT_EQ(Software(), head + NoPlayers + NoLastGame);
}

TEST_F(SoftwareReportTest, ProgramRowInItsThreeModes) {
  Install("full32.exe", "tavik/Games/Present.exe", SecondDate);
  EXPECT_STREQ(programs.Describe("C:\\Tavik\\Games\\Present.exe", "Present", NoRow),
               (std::string("Present  1.0.0.3  ") + SecondDateLine).c_str());
  Install("noversion32.exe", "tavik/Games/Bare.exe");
  EXPECT_STREQ(programs.Describe("C:\\Tavik\\Games\\Bare.exe", "Bare", NotInstalledRow),
               (std::string("Bare  Unk  ") + FirstDateLine).c_str());

  const char* missing = "C:\\Tavik\\Games\\Missing.exe";
  EXPECT_STREQ(programs.Describe(missing, "Missing", NotInstalledRow), "Missing is not installed\n");
  EXPECT_STREQ(programs.Describe(missing, "Missing", EmptyRow), "");
  EXPECT_EQ(programs.Describe(missing, "Missing", NoRow), nullptr);
  EXPECT_STREQ(programs.Describe("C:\\Other\\Prog.exe", "Elsewhere", NotInstalledRow), "Elsewhere is not installed\n");

  // An overlong name is cut at the row's size.
  const std::string longName(600, 'n');
  EXPECT_EQ(std::string(programs.Describe(missing, longName.c_str(), NotInstalledRow)),
            std::string(ProgramRowSize - 1, 'n'));
}

TEST_F(SoftwareReportTest, TheListedGamesLieInTheSuiteAndTwoMakersFolders) {
  int emptyRows = 0;
  for (const FeedbackGame& game : FeedbackGames) emptyRows += game.mode == EmptyRow;
  EXPECT_EQ(emptyRows, 1);
  EXPECT_EQ(std::string(FeedbackGames[0].path).rfind("C:\\Tavik\\Games\\", 0), 0u);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(std::string(FeedbackGames[i].path).rfind("C:\\Tavik\\Lumenfall\\", 0), 0u);
  EXPECT_EQ(std::string(FeedbackGames[5].path).rfind("C:\\Tavik\\Skyhaven\\", 0), 0u);
}

using InstalledProgramFileTest = MenuActionsTest;

TEST_F(InstalledProgramFileTest, SuitePathsUnderTheRootAndPlayersOnThisHost) {
  tree.Write("tavik/GAMES/orb.EXE", "");
  EXPECT_EQ(InstalledProgramFile("C:\\Tavik\\Games\\Orb.exe"), tree.Path("tavik/GAMES/orb.EXE"));

  WriteScript(tree, "bin/vlc", "exit 0\n");
  WriteScript(tree, "bin/mpv", "exit 0\n");
  ScopedEnv path("PATH", tree.Path("bin"));
  EXPECT_EQ(InstalledProgramFile("C:\\PROGRA~1\\VideoLan\\VLC\\vlc.exe"), tree.Path("bin/vlc"));
  EXPECT_EQ(InstalledProgramFile(MpcFirst), tree.Path("bin/mpv"));
  EXPECT_EQ(InstalledProgramFile(VlcSecond), "/var/lib/flatpak/exports/bin/org.videolan.VLC");
  EXPECT_EQ(InstalledProgramFile(MpcSecond), "/var/lib/flatpak/exports/bin/io.mpv.Mpv");
  // A Windows program this machine cannot have.
  EXPECT_EQ(InstalledProgramFile("C:\\Program Files\\Other\\Other.exe"), "");
}

}  // namespace
