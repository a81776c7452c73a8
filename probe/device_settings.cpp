// Reads DEVS.NIN and DEVOPTS.NIN line by line; a key counts wherever it appears in a line.
#include "device_settings.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device_types.h"
#include "platform/regular_file.h"
#include "platform/tavik_path.h"

namespace {

// Lines longer than this are read as several pieces, each treated as a line of its own.
constexpr int LinePieceSize = 200;

const char* const DevsPreferencesPath = "C:\\Tavik\\PREFERENCES\\SETTINGS\\DEVS.NIN";
const char* const DevsBinPath = "C:\\Tavik\\BIN\\SETTINGS\\DEVS.NIN";
const char* const DevOptsPath = "C:\\Tavik\\PREFERENCES\\SETTINGS\\DEVOPTS.NIN";

// The C runtime's atoi, without its undefined behaviour on numbers that do not fit an int.
int DecimalValue(const char* text) {
  long value = std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// "COMn" style value: with a leading 'C', `number` becomes the number three characters later (0 when
// the value ends before those three characters); without it `number` keeps its value.
void ReadComNumber(const char* value, int& number) {
  if (value[0] != 'C') return;
  number = value[1] == '\0' || value[2] == '\0' ? 0 : DecimalValue(value + 3);
}

bool OutsideText(unsigned char c, unsigned char lowest) { return c < lowest || c > 127; }

// Copies at most `limit` characters of `value`, stopping at the first one outside lowest..127.
size_t CopyCut(char* target, const char* value, size_t limit, unsigned char lowest) {
  size_t n = 0;
  while (n < limit && !OutsideText(static_cast<unsigned char>(value[n]), lowest)) {
    target[n] = value[n];
    ++n;
  }
  target[n] = '\0';
  return n;
}

void ApplyAmplifierPort(DeviceSettings& s, const char* line) {
  const char* value = FindSettingValue(line, "ProComp");
  if (value == nullptr) return;
  ReadComNumber(value, s.amplifierPort);
  if (s.amplifierPort == 0) s.amplifierPort = 1;
}

void ApplyInputSource(DeviceSettings& s, const char* line) {
  const char* value = FindSettingValue(line, "Input_Source");
  if (value == nullptr) return;
  CopyCut(s.inputSource, value, sizeof s.inputSource - 1, 15);
  s.deviceCode = DeviceRowCode(FindDeviceRow(value, 0, 0));
}

void ApplyEthernetAddress(DeviceSettings& s, const char* line) {
  const char* value = FindSettingValue(line, "EthernetAddress");
  if (value == nullptr) return;
  char copy[LinePieceSize];
  size_t length = CopyCut(copy, value, sizeof copy - 1, 32);
  s.ethernetAddress = std::string(copy, length);
}

void ApplyDevsLine(DeviceSettings& s, const char* line) {
  ApplyAmplifierPort(s, line);
  ApplyInputSource(s, line);
  if (const char* value = FindSettingValue(line, "EthernetPort")) s.ethernetPort = DecimalValue(value);
  ApplyEthernetAddress(s, line);
  if (const char* value = FindSettingValue(line, "Game_comm")) ReadComNumber(value, s.gamePort);
  if (const char* value = FindSettingValue(line, "Communications_class")) s.commClass = value[0] == 'S' ? 0 : 1;
  if (const char* value = FindSettingValue(line, "DisplayMode")) {
    s.displayMode = value[0] == '2' ? 2 : value[0] == 'D' ? 1 : 0;
  }
}

void ApplyDevOptsLine(DeviceSettings& s, const char* line) {
  const char* value = FindSettingValue(line, "ProCompProtocol");
  if (value != nullptr && value[0] == 'B') s.procompProtocol = 1;
}

// Only a regular file: a FIFO planted in the suite's folder would otherwise hold the program for ever.
FILE* OpenSettingsFile(const char* windowsPath) { return OpenRegularFile(TavikPath(windowsPath)); }

// Feeds every line piece of `file` to `apply`, then closes the file.
void ReadLines(FILE* file, DeviceSettings& s, void (*apply)(DeviceSettings&, const char*)) {
  char line[LinePieceSize];
  while (std::fgets(line, sizeof line, file) != nullptr) apply(s, line);
  std::fclose(file);
}

}  // namespace

const char* FindSettingValue(const char* line, const char* key) {
  const char* found = std::strstr(line, key);
  if (found == nullptr) return nullptr;
  const char* value = found + std::strlen(key);
  while (*value == ' ' || *value == '=') ++value;
  return value;
}

bool ReadDeviceSettingsInto(DeviceSettings& settings) {
  settings.amplifierPort = 1;
  settings.procompProtocol = 0;
  FILE* devs = OpenSettingsFile(DevsPreferencesPath);
  if (devs == nullptr) devs = OpenSettingsFile(DevsBinPath);
  const bool found = devs != nullptr;
  if (found) ReadLines(devs, settings, ApplyDevsLine);
  if (FILE* options = OpenSettingsFile(DevOptsPath)) ReadLines(options, settings, ApplyDevOptsLine);
  std::snprintf(settings.amplifierPortName, sizeof settings.amplifierPortName, "COM%d", settings.amplifierPort);
  return found;
}
