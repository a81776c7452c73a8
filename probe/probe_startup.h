// The start-up facts of linkprobe: its own path, the window title, the directory it treats as its
// own and the station role decided from that directory.
#pragma once

#include <cstddef>

#include "appbase/startup_directory.h"

// "Tavik Comm Check %s" with the version text, cut to fit.
void FormatTitleText(char* title, size_t size, const char* versionText);

// True when `word` stands in `commandLine` on its own, between blanks or at either end.
bool HasCommandWord(const char* commandLine, const char* word);

// The program's start-up facts (appbase/startup_directory.h), then the title.
void PrepareStartup(const char* commandLine);
