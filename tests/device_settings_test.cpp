// The settings reader over real DEVS.NIN / DEVOPTS.NIN files in a scratch suite tree.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "device_settings.h"
#include "device_types.h"
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

}  // namespace
