// The platform and ports report and the installed software report, byte for byte, over a scratch
// suite tree holding Windows program files with version resources, pseudo-terminals linked as COM
// ports and media players put where the report looks for them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "fake_port.h"
#include "installed_program.h"
#include "software_report.h"
#include "sysutil/host_address.h"
#include "appbase/startup_directory.h"
#include "sysutil/version_info.h"
#include "toolboard_state.h"
#include "toolboard_test_support.h"

namespace {

using namespace toolboardtest;
using probetest::FakePort;

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

class SoftwareReportTest : public ::testing::Test {
 protected:
  ScratchTree tree;
  ScopedEnv root{"TAVIK_ROOT", tree.Path("tavik")};
  ScopedEnv sysfs{"TAVIK_SYSFS", tree.Path("sys")};
  ScopedEnv dumpEnv{"TAVIK_PANE_DUMP", tree.Path("report.txt")};
  UtcTime utc;
  ToolboardState state;
  InstalledPrograms programs{FakeLocator};

  void SetUp() override {
    tree.Write("sys/class/tty/.keep", "");  // no machine ports: only the linked ones count
    tree.Write("tavik/.keep", "");
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

TEST(InstalledProgramFileTest, SuitePathsUnderTheRootAndPlayersOnThisHost) {
  ScratchTree tree;
  ScopedEnv root("TAVIK_ROOT", tree.Path("tavik"));
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
