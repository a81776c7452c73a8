// Start-up decisions of linkprobe that need no window.
#include "probe_startup.h"

#include <cstdio>
#include <cstring>

#include "sysutil/version_info.h"

namespace {

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
  PrepareProgramStartup(commandLine);
  FormatTitleText(TitleText, sizeof TitleText, GetFileVersionText(BuildStringsWithDate, ModulePath));
}
