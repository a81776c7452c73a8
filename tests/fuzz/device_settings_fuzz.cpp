// Fuzz target for the device settings reader: the input becomes DEVS.NIN and DEVOPTS.NIN in a scratch
// suite folder and is read as linkprobe reads them before every test; every field must come out within
// the bounds its consumers rely on. Input: byte 0 says where DEVS.NIN ends (as a share of the rest) and,
// in bit 0, whether it sits in the preferences or the program folder; DEVOPTS.NIN gets the remainder.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device_settings.h"
#include "device_types.h"
#include "suite_tree.h"

namespace {

SuiteTree& Tree() {
  static SuiteTree tree;
  return tree;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

bool PrintableText(const char* text, std::size_t limit, unsigned char lowest) {
  std::size_t length = strnlen(text, limit + 1);
  if (length > limit) return false;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < lowest || c > 127) return false;
  }
  return true;
}

bool KnownDeviceCode(int code) {
  for (int row = 0; row < DeviceTypeRowCount; ++row) {
    if (DeviceRowCode(row) == code) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  SuiteTree& tree = Tree();
  const std::size_t rest = size - 1;
  const std::size_t devsLength = rest * data[0] / 255;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const bool inPreferences = (data[0] & 1) != 0;
  tree.Remove("PREFERENCES/SETTINGS/DEVS.NIN");
  tree.Remove("BIN/SETTINGS/DEVS.NIN");
  tree.Write(inPreferences ? "PREFERENCES/SETTINGS/DEVS.NIN" : "BIN/SETTINGS/DEVS.NIN", std::string(text, devsLength));
  tree.Write("PREFERENCES/SETTINGS/DEVOPTS.NIN", std::string(text + devsLength, rest - devsLength));

  DeviceSettings settings;
  ReadDeviceSettingsInto(settings);
  char portName[sizeof settings.amplifierPortName];
  std::snprintf(portName, sizeof portName, "COM%d", settings.amplifierPort);
  Check(std::strcmp(portName, settings.amplifierPortName) == 0);
  Check(settings.amplifierPort != 0);
  Check(PrintableText(settings.inputSource, sizeof settings.inputSource - 1, 15));
  Check(KnownDeviceCode(settings.deviceCode));
  if (settings.ethernetAddress) Check(PrintableText(settings.ethernetAddress->c_str(), 199, 32));
  Check(settings.commClass == 0 || settings.commClass == 1);
  Check(settings.displayMode >= 0 && settings.displayMode <= 2);
  Check(settings.procompProtocol == 0 || settings.procompProtocol == 1);
  return 0;
}
