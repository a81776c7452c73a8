// Platform code and name, 64-bit test and the version texts of program files.
#include "sysutil/version_info.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "sysutil/file_status.h"
#include "file_version_source.h"
#include "os_version.h"
#include "platform/tavik_path.h"

namespace {

char VersionText[VersionTextSize];

// Filled by the first GetPlatformName; GetPlatformCode answers from it once it is set.
int platformCodeCache = 0;

void SetText(const char* text) { std::snprintf(VersionText, sizeof VersionText, "%s", text); }

void AppendText(const std::string& text) {
  const std::size_t used = std::strlen(VersionText);
  std::snprintf(VersionText + used, sizeof VersionText - used, "%s", text.c_str());
}

std::string StringKey(const FileVersionInfo& info, const char* name) {
  char key[64];
  std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\%s", info.translations[0].first,
                info.translations[0].second, name);
  return key;
}

void SetBuildStrings(const FileVersionInfo& info) {
  std::string privateBuild, specialBuild;
  const bool hasPrivate = QueryVersionString(info, StringKey(info, "PrivateBuild"), privateBuild);
  if (hasPrivate) SetText(("PB=" + privateBuild).c_str());
  if (QueryVersionString(info, StringKey(info, "SpecialBuild"), specialBuild)) {
    if (hasPrivate)
      AppendText("    SB=" + specialBuild);
    else
      SetText(("SB=" + specialBuild).c_str());
  }
}

void SetFileVersionNumber(const FileVersionInfo& info) {
  std::snprintf(VersionText, sizeof VersionText, "%u.%u.%u.%u", info.fileVersionMS >> 16, info.fileVersionMS & 0xFFFF,
                info.fileVersionLS >> 16, info.fileVersionLS & 0xFFFF);
}

}  // namespace

int PlatformCodeForVersion(unsigned platformId, unsigned major, unsigned minor) {
  if (platformId == 2) {
    if (major <= 4) return 101;
    if (major == 5) return 102;
    return static_cast<int>(110 + minor);
  }
  int code = 5;
  if (major > 4) code = 99;
  if (major == 4 && minor > 0) code = minor >= 90 ? 90 : 8;
  return code;
}

int GetPlatformCode() {
  if (platformCodeCache != 0) return platformCodeCache;
  OsVersion version;
  if (!QueryOsVersion(version)) return 0;
  return PlatformCodeForVersion(version.platformId, version.major, version.minor);
}

const char* WindowsVersionName(int platformCode) {
  static const char* const names[] = {"Vista", "Windows 7", "Windows 8"};
  if (platformCode == 102) return "XP";
  const int index = platformCode - 110;
  return index >= 0 && index <= 2 ? names[index] : "???";
}

const char* WindowsSystemName(int platformCode, unsigned major, unsigned build) {
  constexpr unsigned FirstWindows11Build = 22000;
  if (major == 10) return build >= FirstWindows11Build ? "Windows 11" : "Windows 10";
  return WindowsVersionName(platformCode);
}

const char* GetPlatformName() {
  if (platformCodeCache == 0) platformCodeCache = GetPlatformCode();
  return OwnPlatformName(platformCodeCache);
}

int Is64BitOs() { return OsIs64Bit(); }

const char* GetFileVersionText(VersionTextKind kind, const char* path) {
  SetText("Unk");
  const std::string file = TavikPath(path ? path : "");
  if (file.empty() || !FileExists(file)) return VersionText;
  FileVersionInfo info;
  const bool hasInfo = ReadFileVersionInfo(file, info);
  if (kind == FileVersionNumber) {
    if (hasInfo && info.hasFixed) SetFileVersionNumber(info);
    return VersionText;
  }
  if (kind != BuildStringsWithDate) return VersionText;
  if (hasInfo && !info.translations.empty()) SetBuildStrings(info);
  std::string date;
  if (FileModificationText(file, date)) AppendText("  " + date);
  return VersionText;
}
