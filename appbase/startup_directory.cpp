// The start directory and the station role, decided once at start-up.
#include "appbase/startup_directory.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "appbase/module_path.h"
#include "sysutil/version_info.h"

char ModulePath[ModulePathSize] = "";
char StartupDirectory[ModulePathSize] = "";
char TitleText[TitleTextSize] = "";
const char* StationRole = "";
int PlatformCode = 0;

namespace {

const char* const StartupDirKey = "STARTUPDIR=";

}  // namespace

void CutAfterLastSeparator(char* path, size_t length) {
  size_t i = length;
  while (i > 0 && path[i] != '\\' && path[i] != '/') --i;
  path[i + 1] = '\0';
}

void ApplyStartupDirArgument(const char* commandLine, char* directory, size_t size) {
  const char* found = std::strstr(commandLine, StartupDirKey);
  if (found != nullptr) std::snprintf(directory, size, "%s", found + std::strlen(StartupDirKey));
}

const char* DecideStationRole(const char* directory) {
  char upper[ModulePathSize];
  std::snprintf(upper, sizeof upper, "%s", directory);
  for (char* c = upper; *c != '\0'; ++c) {
    *c = *c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  }
  if (std::strstr(upper, "\\BIN") != nullptr) return "Therapist";
  if (std::strstr(upper, "GAMES") != nullptr) return "Game";
  return "";
}

void PrepareProgramStartup(const char* commandLine) {
  size_t length = GetModulePath(ModulePath, sizeof ModulePath);
  std::snprintf(StartupDirectory, sizeof StartupDirectory, "%s", ModulePath);
  CutAfterLastSeparator(StartupDirectory, length);
  ApplyStartupDirArgument(commandLine, StartupDirectory, sizeof StartupDirectory);
  PlatformCode = GetPlatformCode();
}
