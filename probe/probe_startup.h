// The start-up facts of linkprobe: its own path, the window title, the directory it treats as its
// own and the station role decided from that directory.
#pragma once

#include <cstddef>

#include "appbase/startup_directory.h"

constexpr size_t TitleTextSize = 200;

// Process-wide, set once at start-up.
extern char ModulePath[ModulePathSize];
extern char StartupDirectory[ModulePathSize];
extern char TitleText[TitleTextSize];
extern const char* StationRole;   // "Therapist", "Game" or ""

// "Tavik Comm Check %s" with the version text, cut to fit.
void FormatTitleText(char* title, size_t size, const char* versionText);

// True when `word` stands in `commandLine` on its own, between blanks or at either end.
bool HasCommandWord(const char* commandLine, const char* word);

// Module path, title, start directory (with a STARTUPDIR= override) and platform code, in that order.
void PrepareStartup(const char* commandLine);
