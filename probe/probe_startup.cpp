// Start-up decisions of linkprobe that need no window.
#include "probe_startup.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "module_path.h"
#include "sysutil/version_info.h"

char ModulePath[ModulePathSize] = "";
char StartupDirectory[ModulePathSize] = "";
char TitleText[TitleTextSize] = "";
int PlatformCode = 0;
const char* StationRole = "";
int ExitRequested = 0;

namespace {

const char* const StartupDirKey = "STARTUPDIR=";

// Copies `text` into `target` of `size` characters, cutting what does not fit.
void CopyCut(char* target, size_t size, const char* text) {
  std::snprintf(target, size, "%s", text);
}

}  // namespace

void CutAfterLastSeparator(char* path, size_t length) {
  size_t i = length;
  while (i > 0 && path[i] != '\\' && path[i] != '/') --i;
  path[i + 1] = '\0';
}

void ApplyStartupDirArgument(const char* commandLine, char* directory, size_t size) {
  const char* found = std::strstr(commandLine, StartupDirKey);
  if (found != nullptr) CopyCut(directory, size, found + std::strlen(StartupDirKey));
}

const char* DecideStationRole(const char* directory) {
  char upper[ModulePathSize];
  CopyCut(upper, sizeof upper, directory);
  for (char* c = upper; *c != '\0'; ++c) {
    *c = *c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  }
  if (std::strstr(upper, "\\BIN") != nullptr) return "Therapist";
  if (std::strstr(upper, "GAMES") != nullptr) return "Game";
  return "";
}

void FormatTitleText(char* title, size_t size, const char* versionText) {
  std::snprintf(title, size, "Tavik Comm Check %s", versionText);
}

void PrepareStartup(const char* commandLine) {
  size_t length = GetModulePath(ModulePath, sizeof ModulePath);
  FormatTitleText(TitleText, sizeof TitleText, GetFileVersionText(BuildStringsWithDate, ModulePath));
  CopyCut(StartupDirectory, sizeof StartupDirectory, ModulePath);
  CutAfterLastSeparator(StartupDirectory, length);
  ApplyStartupDirArgument(commandLine, StartupDirectory, sizeof StartupDirectory);
  PlatformCode = GetPlatformCode();
}
