// Start-up decisions of linkprobe that need no window.
#include "probe_startup.h"

#include <cstdio>
#include <cstring>

#include "appbase/module_path.h"
#include "sysutil/system_tools.h"
#include "sysutil/version_info.h"

char ModulePath[ModulePathSize] = "";
char StartupDirectory[ModulePathSize] = "";
char TitleText[TitleTextSize] = "";
const char* StationRole = "";

namespace {

// Copies `text` into `target` of `size` characters, cutting what does not fit.
void CopyCut(char* target, size_t size, const char* text) {
  std::snprintf(target, size, "%s", text);
}

// Windows' command lines separate their words with spaces or tabs.
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

void FormatTitleText(char* title, size_t size, const char* versionText) {
  std::snprintf(title, size, "Tavik Comm Check %s", versionText);
}

bool HasCommandWord(const char* commandLine, const char* word) {
  const size_t length = std::strlen(word);
  for (const char* found = std::strstr(commandLine, word); found != nullptr; found = std::strstr(found + 1, word)) {
    const bool startsWord = found == commandLine || IsBlank(found[-1]);
    const bool endsWord = found[length] == '\0' || IsBlank(found[length]);
    if (startsWord && endsWord) return true;
  }
  return false;
}

void PrepareStartup(const char* commandLine) {
  size_t length = GetModulePath(ModulePath, sizeof ModulePath);
  FormatTitleText(TitleText, sizeof TitleText, GetFileVersionText(BuildStringsWithDate, ModulePath));
  CopyCut(StartupDirectory, sizeof StartupDirectory, ModulePath);
  CutAfterLastSeparator(StartupDirectory, length);
  ApplyStartupDirArgument(commandLine, StartupDirectory, sizeof StartupDirectory);
  SetPlatformCode(GetPlatformCode());
}
