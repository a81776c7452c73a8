// linkprobe's logic that needs no window or port: the settings reader over real DEVS.NIN / DEVOPTS.NIN
// files in a scratch suite tree and the device tables; the start-up decisions (the station role, the start
// directory and its STARTUPDIR= override, the title); the pane text (its limits, what a refresh shows, and
// the dump file that tests read the window by).
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "device_settings.h"
#include "device_types.h"
#include "output_pane.h"
#include "probe_startup.h"
#include "probe_test_support.h"
#include "suite_tree.h"

namespace {

const char* const PrefsDevs = "PREFERENCES/SETTINGS/DEVS.NIN";
const char* const PrefsOpts = "PREFERENCES/SETTINGS/DEVOPTS.NIN";

// Every field in one line, so that one comparison shows them all.
std::string Fields(const DeviceSettings& s) {
  return "amplifier " + std::to_string(s.amplifierPort) + " " + s.amplifierPortName + ", source " + s.inputSource +
         " " + std::to_string(s.deviceCode) + ", ethernet " + s.ethernetAddress.value_or("absent") + " " +
         std::to_string(s.ethernetPort) + ", game port " + std::to_string(s.gamePort) + ", class " +
         std::to_string(s.commClass) + ", display " + std::to_string(s.displayMode) + ", protocol " +
         std::to_string(s.procompProtocol);
}

class DeviceSettingsTest : public ::testing::Test {
 protected:
  SuiteTree tree;
  DeviceSettings settings;

  // Writes DEVS.NIN in the preferences folder and reads it into `settings`.
  const DeviceSettings& Devs(const std::string& content) {
    tree.Write(PrefsDevs, content);
    return Read();
  }
  const DeviceSettings& Read() {
    ReadDeviceSettingsInto(settings);
    return settings;
  }
  std::string Address(const std::string& content) { return Devs(content).ethernetAddress.value_or("absent"); }
};

TEST(FindSettingValueTest, SkipsBlanksAndEqualsButNotTabs) {
  EXPECT_STREQ(FindSettingValue("DisplayMode = 2\n", "DisplayMode"), "2\n");
  EXPECT_STREQ(FindSettingValue("DisplayMode=2", "DisplayMode"), "2");
  EXPECT_STREQ(FindSettingValue("DisplayMode 2", "DisplayMode"), "2");
  EXPECT_STREQ(FindSettingValue("x DisplayMode== =2", "DisplayMode"), "2");
  EXPECT_STREQ(FindSettingValue("DisplayMode\t2", "DisplayMode"), "\t2");
  EXPECT_STREQ(FindSettingValue("DisplayMode =  \n", "DisplayMode"), "\n");
  EXPECT_STREQ(FindSettingValue("DisplayMode", "DisplayMode"), "");
  EXPECT_EQ(FindSettingValue("displaymode=2", "DisplayMode"), nullptr);
}

TEST_F(DeviceSettingsTest, MissingFilesLeaveDefaults) {
  EXPECT_EQ(Fields(Read()),
            "amplifier 1 COM1, source  0, ethernet absent 5510, game port 0, class 1, display 0, "
            "protocol 0");
}

TEST_F(DeviceSettingsTest, ReadsATypicalTherapistFile) {
  // C2+mini is row 4, not the shorter C2+ of row 5.
  EXPECT_EQ(Fields(Devs("[Devices]\nInput_Source = C2+mini\nProComp = COM12\nCommunications_class = Serial\n"
                        "Game_comm = COM4\nEthernetAddress = 192.168.10.2\nEthernetPort = 5520\n"
                        "DisplayMode = 2 computers\n")),
            "amplifier 12 COM12, source C2+mini 21, ethernet 192.168.10.2 5520, game port 4, class 0, display 2, "
            "protocol 0");
}

TEST_F(DeviceSettingsTest, InputSourceRowsAndCutting) {
  struct Case {
    const char* line;
    const char* source;
    int code;
  } cases[] = {
      {"Input_Source=GP8\n", "GP8", 26},                     // GP (row 13) comes first
      {"Input_Source=a404\n", "a404", 60},                   // the value's case does not matter
      {"Input_Source=Nothing known\n", "Nothing known", 1},  // no row: row 0
      {"Input_Source=BrainMaster\tx\n", "BrainMaster", 50},  // tab ends the text
      {"Input_Source=QPET\r\n", "QPET", 31},
      {"Input_Source=ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\n", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", 1},
      {"Input_Source=Wiz\xC3\xA9\n", "Wiz", 70},  // bytes above 127 end the text
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(Devs(c.line).inputSource, c.source) << c.line;
    EXPECT_EQ(settings.deviceCode, c.code) << c.line;
  }
}

TEST_F(DeviceSettingsTest, KeysAreCaseSensitiveAndAbsentLinesKeepValues) {
  Devs("Input_Source=A404\nDisplayMode=2\nEthernetAddress=game\n");
  EXPECT_STREQ(Devs("input_source=Q20\nNothing here\n").inputSource, "A404");
  EXPECT_EQ(settings.deviceCode, 60);
  EXPECT_EQ(settings.displayMode, 2);
  EXPECT_EQ(settings.ethernetAddress.value_or("absent"), "game");
}

TEST_F(DeviceSettingsTest, AmplifierPortRules) {
  struct Case {
    const char* file;
    int port;
  } cases[] = {
      {"ProComp=COM0\n", 1},
      {"ProComp=USB\n", 1},
      {"ProComp = COM12\n", 12},
      {"ProComp=C\n", 1},                            // nothing after the 'C': no number, and no reading past the text
      {"ProComp=COM-2\n", -2},                       // not range-checked here; the port table lookup rejects it later
      {"ProComp=COM7\nInput_Source=ProComp+\n", 7},  // the mention in the source line changes nothing
      {"Input_Source=ProSB\n", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(Devs(c.file).amplifierPort, c.port) << c.file;
  Devs("ProComp=COM9\n");
  EXPECT_EQ(Devs("\n").amplifierPort, 1);  // every read starts again from port 1
  EXPECT_STREQ(settings.amplifierPortName, "COM1");
}

TEST_F(DeviceSettingsTest, ClassDisplayModeAndGamePortRules) {
  struct Case {
    const char* file;
    int commClass;
    int displayMode;
  } cases[] = {
      {"Communications_class=Serial\nDisplayMode=2\n", 0, 2},
      {"Communications_class=Ethernet\nDisplayMode=Dual\n", 1, 1},
      {"Communications_class=\nDisplayMode=dual\n", 1, 0},
      {"Communications_class=serial\nDisplayMode=\t2\n", 1, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Devs(c.file).commClass, c.commClass) << c.file;
    EXPECT_EQ(settings.displayMode, c.displayMode) << c.file;
  }
  Devs("Game_comm=COM3\n");
  EXPECT_EQ(Devs("Game_comm=None\n").gamePort, 3);
}

TEST_F(DeviceSettingsTest, NumbersFollowAtoiRules) {
  EXPECT_EQ(Devs("EthernetPort = 5511xyz\n").ethernetPort, 5511);
  EXPECT_EQ(Devs("EthernetPort = none\n").ethernetPort, 0);
  EXPECT_EQ(Devs("EthernetPort=99999999999999999999\n").ethernetPort, INT_MAX);
}

TEST_F(DeviceSettingsTest, EthernetAddressKeepsInnerAndTrailingBlanks) {
  EXPECT_EQ(Address("EthernetAddress = 192.168.10.2  \n"), "192.168.10.2  ");
  EXPECT_EQ(Address("EthernetAddress=game pc\r\n"), "game pc");
  EXPECT_EQ(Address("EthernetAddress=\n"), "");
}

TEST_F(DeviceSettingsTest, OneLineCanSetSeveralFieldsAndLaterLinesWin) {
  EXPECT_EQ(Devs("DisplayMode=2 EthernetPort=6000\nEthernetPort=7000\n").displayMode, 2);
  EXPECT_EQ(settings.ethernetPort, 7000);
}

TEST_F(DeviceSettingsTest, PreferencesFileHidesTheBinFile) {
  tree.Write("BIN/SETTINGS/DEVS.NIN", "DisplayMode=2\n");
  EXPECT_EQ(Read().displayMode, 2);
  settings = DeviceSettings{};
  EXPECT_EQ(Devs("").displayMode, 0);
}

TEST_F(DeviceSettingsTest, FolderNamesMatchIgnoringCase) {
  tree.Write("Preferences/settings/devs.nin", "DisplayMode=2\n");
  tree.Write("Preferences/settings/DevOpts.Nin", "ProCompProtocol=Bluetooth\n");
  EXPECT_EQ(Read().displayMode, 2);
  EXPECT_EQ(settings.procompProtocol, 1);
}

TEST_F(DeviceSettingsTest, ProtocolOptionComesOnlyFromThePreferencesDevOpts) {
  tree.Write(PrefsOpts, "ProCompProtocol = B\n");
  EXPECT_EQ(Read().procompProtocol, 1);
  tree.Write(PrefsOpts, "ProCompProtocol = Serial\n");
  EXPECT_EQ(Read().procompProtocol, 0);
  tree.Remove(PrefsOpts);
  tree.Write("BIN/SETTINGS/DEVOPTS.NIN", "ProCompProtocol = B\n");
  EXPECT_EQ(Read().procompProtocol, 0);
}

TEST_F(DeviceSettingsTest, LongLinesAreReadInPieces) {
  // The key sits 300 characters into the line: the second 199-character piece carries it.
  EXPECT_EQ(Devs(std::string(300, 'x') + "DisplayMode=2\n").displayMode, 2);
  // A key cut by a piece boundary is not seen.
  EXPECT_EQ(Devs(std::string(192, 'x') + "EthernetPort=6001\n").ethernetPort, 5510);
  // An address running past the piece ends with the piece.
  EXPECT_EQ(Address("EthernetAddress=" + std::string(400, 'a') + "\n"), std::string(199 - 16, 'a'));
}

TEST_F(DeviceSettingsTest, BinaryBytesAndMissingLineEndDoNoHarm) {
  const char raw[] = "\x01\xFF\x00\x7F garbage \x00 DisplayMode=D\n";
  // Behind a NUL byte the rest of that line is not seen.
  EXPECT_EQ(Devs(std::string(raw, sizeof raw - 1) + std::string(5000, '\xFE') + "\nEthernetPort=6003").displayMode, 0);
  EXPECT_EQ(settings.ethernetPort, 6003);
}

TEST(DeviceTypesTest, RowLookups) {
  EXPECT_EQ(FindDeviceRow("ProComp", 0, 0), 0);
  EXPECT_EQ(FindDeviceRow("ADC", 0, 0), 0);
  EXPECT_EQ(FindDeviceRow("ADC", 0, 1), 2);
  EXPECT_EQ(FindDeviceRow("pendant", 0, 1), 17);  // no alternate name: found by its name only
  EXPECT_EQ(FindDeviceRow("spectrum4", 0, 1), 7);
  EXPECT_EQ(FindDeviceRow("C2", 2, 0), 4);   // over two characters C2+mini already matches
  EXPECT_EQ(FindDeviceRow("C2", 3, 0), 11);  // over three, only C2 with its terminator
  EXPECT_EQ(FindDeviceRow(nullptr, 0, 0), 0);
  EXPECT_EQ(DeviceRowName(27), nullptr);
  EXPECT_STREQ(DeviceRowName(28), "OutaRange");
  EXPECT_STREQ(DeviceRowName(-1), "OutaRange");
  EXPECT_EQ(DeviceRowCode(-1), 0);
  EXPECT_EQ(DeviceRowMarker(28), 0);
}

TEST(DeviceTypesTest, SourceClassLookups) {
  EXPECT_EQ(SourceClassIndex("j&j"), 3);
  EXPECT_EQ(SourceClassIndex("ESIPRO/AXXX"), 10);
  EXPECT_EQ(SourceClassIndex("Undef"), 0);
  EXPECT_EQ(SourceClassIndex("esiPRO"), 0);  // the whole name must match
  EXPECT_EQ(SourceClassIndex(nullptr), 0);
  EXPECT_STREQ(SourceClassName(16), "OutaRange");
  EXPECT_STREQ(SourceClassName(-1), "OutaRange");
}

TEST(StationRoleTest, DecidedOnTheUpperCasedDirectory) {
  EXPECT_STREQ(DecideStationRole("C:\\Tavik\\BIN\\"), "Therapist");
  EXPECT_STREQ(DecideStationRole("c:\\tavik\\bin\\"), "Therapist");
  EXPECT_STREQ(DecideStationRole("C:\\Tavik\\Games\\"), "Game");
  EXPECT_STREQ(DecideStationRole("C:\\Tavik\\Games\\BIN\\"), "Therapist");  // \BIN wins
  EXPECT_STREQ(DecideStationRole("C:\\TavikBIN\\"), "");                    // no backslash before BIN
  EXPECT_STREQ(DecideStationRole("C:\\Tavik\\Tools\\"), "");
  EXPECT_STREQ(DecideStationRole("/opt/tavik/bin/"), "Therapist");  // slashes read as backslashes
  EXPECT_STREQ(DecideStationRole("/opt/tavik/games/"), "Game");
  EXPECT_STREQ(DecideStationRole(""), "");
}

TEST(StartupDirectoryTest, CutRightAfterTheLastSeparator) {
  // With no separator only the first character remains.
  for (auto [given, cut] : {std::pair{"C:\\Tavik\\BIN\\linkprobe.exe", "C:\\Tavik\\BIN\\"},
                            {"/opt/tavik/BIN/linkprobe", "/opt/tavik/BIN/"},
                            {"linkprobe.exe", "l"}}) {
    char path[ModulePathSize];
    std::strcpy(path, given);
    CutAfterLastSeparator(path, std::strlen(path));
    EXPECT_STREQ(path, cut);
  }
}

TEST(StartupDirectoryTest, StartupDirArgumentTakesTheRestOfTheLine) {
  char directory[ModulePathSize] = "C:\\Tavik\\BIN\\";
  ApplyStartupDirArgument("STARTUPDIR=C:\\Tavik\\Games\\ -x", directory, sizeof directory);
  EXPECT_STREQ(directory, "C:\\Tavik\\Games\\ -x");
  EXPECT_STREQ(DecideStationRole(directory), "Game");

  char unchanged[ModulePathSize] = "C:\\Tavik\\BIN\\";
  ApplyStartupDirArgument("startupdir=C:\\Tavik\\Games\\", unchanged, sizeof unchanged);
  EXPECT_STREQ(unchanged, "C:\\Tavik\\BIN\\");

  char cut[ModulePathSize] = "";
  std::string longLine = "x STARTUPDIR=" + std::string(1000, 'd');
  ApplyStartupDirArgument(longLine.c_str(), cut, sizeof cut);
  EXPECT_EQ(std::string(cut), std::string(ModulePathSize - 1, 'd'));
}

TEST(CommandWordTest, OnlyAWordOfItsOwnCounts) {
  EXPECT_TRUE(HasCommandWord("REPORT", "REPORT"));
  EXPECT_TRUE(HasCommandWord("-x\tREPORT STARTUPDIR=C:\\Tavik\\", "REPORT"));
  EXPECT_TRUE(HasCommandWord("REPORTS REPORT", "REPORT"));  // found after a longer word
  EXPECT_FALSE(HasCommandWord("STARTUPDIR=C:\\REPORT\\", "REPORT"));
  EXPECT_FALSE(HasCommandWord("REPORTS report", "REPORT"));
  EXPECT_FALSE(HasCommandWord("", "REPORT"));
}

TEST(TitleTextTest, FilledAndCutAtItsLimit) {
  char title[TitleTextSize];
  FormatTitleText(title, sizeof title, "PB=1.3  Mon Dec  7 12:00:00 2026\n");
  EXPECT_STREQ(title, "Tavik Comm Check PB=1.3  Mon Dec  7 12:00:00 2026\n");
  std::string huge(500, 'v');
  FormatTitleText(title, sizeof title, huge.c_str());
  EXPECT_EQ(std::string(title), "Tavik Comm Check " + std::string(TitleTextSize - 1 - 17, 'v'));
}

TEST(PrepareStartupTest, OwnDirectoryUnlessStartupDirGiven) {
  std::string exe = OwnProgramPath();
  ASSERT_FALSE(exe.empty());

  PrepareStartup("--some-option");
  EXPECT_EQ(std::string(ModulePath), exe);
  EXPECT_EQ(std::string(StartupDirectory), exe.substr(0, exe.find_last_of("/\\") + 1));
  EXPECT_EQ(std::string(TitleText).rfind("Tavik Comm Check ", 0), 0u);

  PrepareStartup("STARTUPDIR=C:\\Tavik\\Games\\");
  EXPECT_STREQ(StartupDirectory, "C:\\Tavik\\Games\\");
}

// A pane with the fixture as its display, which keeps what each refresh shows.
class OutputPaneTest : public ::testing::Test, public PaneDisplay {
 protected:
  void ShowText(const char* text) override { shown.emplace_back(text); }
  ScratchTree tree;
  OutputPane pane;
  std::vector<std::string> shown;
};

TEST_F(OutputPaneTest, AppendClearAndNullText) {
  pane.Append("COMM PORTS");
  pane.Append(" found\n");
  EXPECT_STREQ(pane.Text(), "COMM PORTS found\n");
  EXPECT_EQ(pane.Length(), 17u);
  pane.Append(nullptr);
  EXPECT_STREQ(pane.Text(), "");
  pane.AppendFormat("%s=%d,%c", "Cores", 4, '*');
  pane.Clear();
  pane.Append("x");
  EXPECT_STREQ(pane.Text(), "x");
}

TEST_F(OutputPaneTest, TextIsCutAtItsCapacity) {
  pane.Append(std::string(OutputPane::Capacity - 3, 'a').c_str());
  pane.Append("bcdef");
  pane.Append("more");
  pane.AppendFormat("%d", 12345);
  std::string expected = std::string(OutputPane::Capacity - 3, 'a') + "bcd";
  EXPECT_EQ(pane.Length(), OutputPane::Capacity);
  EXPECT_EQ(std::string(pane.Text()), expected);
  pane.Append(nullptr);
  pane.Append("fresh");
  EXPECT_STREQ(pane.Text(), "fresh");
}

TEST_F(OutputPaneTest, FormattedPieceIsCutAt299Characters) {
  std::string wide(500, 'w');
  pane.AppendFormat("[%s]", wide.c_str());
  EXPECT_EQ(std::string(pane.Text()), "[" + std::string(298, 'w'));
  pane.AppendFormat("\n%-5s|%3d", "ab", 7);
  EXPECT_EQ(std::string(pane.Text()).substr(299), "\nab   |  7");
}

TEST_F(OutputPaneTest, RefreshShowsTheWholeTextEachTime) {
  pane.Refresh();  // no display attached: nothing to show, no harm
  pane.AttachDisplay(this);
  pane.Append("first\n");
  pane.Refresh();
  pane.Append("second\n");
  pane.Refresh();
  pane.Clear();
  pane.Refresh();
  EXPECT_EQ(shown, (std::vector<std::string>{"first\n", "first\nsecond\n", ""}));
}

TEST_F(OutputPaneTest, EveryRefreshReplacesTheDumpFile) {
  const std::string dump = tree.Path("pane.txt");
  ScopedEnv env("TAVIK_PANE_DUMP", dump);
  pane.Append("COMM PORTS found(NONE)\n");
  pane.Refresh();
  EXPECT_EQ(ReadWholeFile(dump), "COMM PORTS found(NONE)\n");
  pane.Clear();
  pane.Append("short");
  pane.Refresh();
  EXPECT_EQ(ReadWholeFile(dump), "short");
  EXPECT_FALSE(std::filesystem::exists(dump + ".tmp"));
}

TEST_F(OutputPaneTest, UnwritableDumpPlaceIsIgnored) {
  ScopedEnv env("TAVIK_PANE_DUMP", tree.Path("no/such/folder/pane.txt"));
  pane.AttachDisplay(this);
  pane.Append("still shown");
  pane.Refresh();
  EXPECT_EQ(shown, std::vector<std::string>{"still shown"});
}

}  // namespace
