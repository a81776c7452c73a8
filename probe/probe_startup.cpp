// Start-up decisions of linkprobe that need no window.
#include "probe_startup.h"

#include <cstdio>

#include "sysutil/version_info.h"

void FormatTitleText(char* title, size_t size, const char* versionText) {
  std::snprintf(title, size, "Tavik Comm Check %s", versionText);
}

void PrepareStartup(const char* commandLine) {
  PrepareProgramStartup(commandLine);
  FormatTitleText(TitleText, sizeof TitleText, GetFileVersionText(BuildStringsWithDate, ModulePath));
}
