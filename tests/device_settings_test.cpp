// The settings reader over real DEVS.NIN / DEVOPTS.NIN files in a scratch suite tree.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "device_settings.h"
#include "device_types.h"
#include "suite_tree.h"

namespace {

const char* const PrefsDevs = "PREFERENCES/SETTINGS/DEVS.NIN";
const char* const BinDevs = "BIN/SETTINGS/DEVS.NIN";
const char* const PrefsOpts = "PREFERENCES/SETTINGS/DEVOPTS.NIN";

class DeviceSettingsTest : public ::testing::Test {
 protected:
  SuiteTree tree;
  DeviceSettings settings;

  // Writes DEVS.NIN in the preferences folder and reads it into `settings`.
  void ReadDevs(const std::string& content) {
    tree.Write(PrefsDevs, content);
    ReadDeviceSettingsInto(settings);
  }
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
  ReadDeviceSettingsInto(settings);
  EXPECT_EQ(settings.amplifierPort, 1);
  EXPECT_STREQ(settings.amplifierPortName, "COM1");
  EXPECT_STREQ(settings.inputSource, "");
  EXPECT_EQ(settings.deviceCode, 0);
  EXPECT_EQ(settings.ethernetPort, 5510);
  EXPECT_FALSE(settings.ethernetAddress.has_value());
  EXPECT_EQ(settings.gamePort, 0);
  EXPECT_EQ(settings.commClass, 1);
  EXPECT_EQ(settings.displayMode, 0);
  EXPECT_EQ(settings.procompProtocol, 0);
}

TEST_F(DeviceSettingsTest, ReadsATypicalTherapistFile) {
  ReadDevs(
      "[Devices]\n"
      "Input_Source = C2+mini\n"
      "ProComp = COM12\n"
      "Communications_class = Serial\n"
      "Game_comm = COM4\n"
      "EthernetAddress = 192.168.10.2\n"
      "EthernetPort = 5520\n"
      "DisplayMode = 2 computers\n");
  EXPECT_STREQ(settings.inputSource, "C2+mini");
  EXPECT_EQ(settings.deviceCode, 21);  // row 4, not the shorter C2+ of row 5
  EXPECT_EQ(settings.amplifierPort, 12);
  EXPECT_STREQ(settings.amplifierPortName, "COM12");
  EXPECT_EQ(settings.commClass, 0);
  EXPECT_EQ(settings.gamePort, 4);
  EXPECT_EQ(settings.ethernetAddress.value_or("absent"), "192.168.10.2");
  EXPECT_EQ(settings.ethernetPort, 5520);
  EXPECT_EQ(settings.displayMode, 2);
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
    ReadDevs(c.line);
    EXPECT_STREQ(settings.inputSource, c.source) << c.line;
    EXPECT_EQ(settings.deviceCode, c.code) << c.line;
  }
}

TEST_F(DeviceSettingsTest, KeysAreCaseSensitiveAndAbsentLinesKeepValues) {
  ReadDevs("Input_Source=A404\nDisplayMode=2\nEthernetAddress=game\n");
  ReadDevs("input_source=Q20\nNothing here\n");
  EXPECT_STREQ(settings.inputSource, "A404");
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
  for (const Case& c : cases) {
    ReadDevs(c.file);
    EXPECT_EQ(settings.amplifierPort, c.port) << c.file;
  }
  ReadDevs("ProComp=COM9\n");
  ReadDevs("\n");  // every read starts again from port 1
  EXPECT_EQ(settings.amplifierPort, 1);
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
    ReadDevs(c.file);
    EXPECT_EQ(settings.commClass, c.commClass) << c.file;
    EXPECT_EQ(settings.displayMode, c.displayMode) << c.file;
  }
  ReadDevs("Game_comm=COM3\n");
  ReadDevs("Game_comm=None\n");
  EXPECT_EQ(settings.gamePort, 3);
}

TEST_F(DeviceSettingsTest, NumbersFollowAtoiRules) {
  ReadDevs("EthernetPort = 5511xyz\n");
  EXPECT_EQ(settings.ethernetPort, 5511);
  ReadDevs("EthernetPort = none\n");
  EXPECT_EQ(settings.ethernetPort, 0);
  ReadDevs("EthernetPort=99999999999999999999\n");
  EXPECT_EQ(settings.ethernetPort, INT_MAX);
}

TEST_F(DeviceSettingsTest, EthernetAddressKeepsInnerAndTrailingBlanks) {
  ReadDevs("EthernetAddress = 192.168.10.2  \n");
  EXPECT_EQ(settings.ethernetAddress.value_or("absent"), "192.168.10.2  ");
  ReadDevs("EthernetAddress=game pc\r\n");
  EXPECT_EQ(settings.ethernetAddress.value_or("absent"), "game pc");
  ReadDevs("EthernetAddress=\n");
  EXPECT_EQ(settings.ethernetAddress.value_or("absent"), "");
}

TEST_F(DeviceSettingsTest, OneLineCanSetSeveralFieldsAndLaterLinesWin) {
  ReadDevs("DisplayMode=2 EthernetPort=6000\nEthernetPort=7000\n");
  EXPECT_EQ(settings.displayMode, 2);
  EXPECT_EQ(settings.ethernetPort, 7000);
}

TEST_F(DeviceSettingsTest, PreferencesFileHidesTheBinFile) {
  tree.Write(BinDevs, "DisplayMode=2\n");
  ReadDeviceSettingsInto(settings);
  EXPECT_EQ(settings.displayMode, 2);

  tree.Write(PrefsDevs, "");
  DeviceSettings fresh;
  ReadDeviceSettingsInto(fresh);
  EXPECT_EQ(fresh.displayMode, 0);
}

TEST_F(DeviceSettingsTest, FolderNamesMatchIgnoringCase) {
  tree.Write("Preferences/settings/devs.nin", "DisplayMode=2\n");
  tree.Write("Preferences/settings/DevOpts.Nin", "ProCompProtocol=Bluetooth\n");
  ReadDeviceSettingsInto(settings);
  EXPECT_EQ(settings.displayMode, 2);
  EXPECT_EQ(settings.procompProtocol, 1);
}

TEST_F(DeviceSettingsTest, ProtocolOptionComesOnlyFromThePreferencesDevOpts) {
  tree.Write(PrefsOpts, "ProCompProtocol = B\n");
  ReadDeviceSettingsInto(settings);
  EXPECT_EQ(settings.procompProtocol, 1);
  tree.Write(PrefsOpts, "ProCompProtocol = Serial\n");
  ReadDeviceSettingsInto(settings);
  EXPECT_EQ(settings.procompProtocol, 0);
  tree.Remove(PrefsOpts);
  tree.Write("BIN/SETTINGS/DEVOPTS.NIN", "ProCompProtocol = B\n");
  ReadDeviceSettingsInto(settings);
  EXPECT_EQ(settings.procompProtocol, 0);
}

TEST_F(DeviceSettingsTest, LongLinesAreReadInPieces) {
  // The key sits 300 characters into the line: the second 199-character piece carries it.
  ReadDevs(std::string(300, 'x') + "DisplayMode=2\n");
  EXPECT_EQ(settings.displayMode, 2);
  // A key cut by a piece boundary is not seen.
  ReadDevs(std::string(192, 'x') + "EthernetPort=6001\n");
  EXPECT_EQ(settings.ethernetPort, 5510);
  // An address running past the piece ends with the piece.
  ReadDevs("EthernetAddress=" + std::string(400, 'a') + "\n");
  EXPECT_EQ(settings.ethernetAddress.value_or("absent"), std::string(199 - 16, 'a'));
}

TEST_F(DeviceSettingsTest, BinaryBytesAndMissingLineEndDoNoHarm) {
  const char raw[] = "\x01\xFF\x00\x7F garbage \x00 DisplayMode=D\n";
  std::string binary(raw, sizeof raw - 1);
  ReadDevs(binary + std::string(5000, '\xFE') + "\nEthernetPort=6003");
  EXPECT_EQ(settings.displayMode, 0);  // behind a NUL byte the rest of that line is not seen
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
