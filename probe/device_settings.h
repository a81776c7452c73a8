// The amplifier and game-link settings that the suite keeps in DEVS.NIN and DEVOPTS.NIN, re-read
// before every test so that a technician can edit the files and test again without restarting.
#pragma once

#include <optional>
#include <string>

struct DeviceSettings {
  int amplifierPort = 1;                       // COM number of the amplifier ("ProComp")
  char amplifierPortName[20] = "";             // "COM%d" of amplifierPort
  char inputSource[31] = "";                   // as written in the file ("Input_Source")
  int deviceCode = 0;                          // code of the DeviceTypeTable row of inputSource
  int ethernetPort = 5510;                     // TCP port of the game computer
  std::optional<std::string> ethernetAddress;  // host name or dotted address of the game computer
  int gamePort = 0;                            // COM number of a serial game link, 0 for none
  int commClass = 1;                           // 0 serial game link, 1 ethernet
  int displayMode = 0;                         // 2 two-computer set-up
  int procompProtocol = 0;                     // 1 when the ProComp protocol option begins with 'B'
};

// Re-reads the suite's settings files into the record; fields without a line keep their value. Returns
// whether a DEVS.NIN was found.
bool ReadDeviceSettingsInto(DeviceSettings& settings);

// Where the value of `key` starts in `line` (after blanks and '='), or null when the line lacks the key.
const char* FindSettingValue(const char* line, const char* key);
