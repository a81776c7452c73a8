// The start-up facts of linkprobe: its own path, the window title, the directory it treats as its
// own, the station role decided from that directory, and the exit flag of the event loop.
#pragma once

#include <cstddef>

constexpr size_t ModulePathSize = 260;
constexpr size_t TitleTextSize = 200;

// Process-wide, set once at start-up.
extern char ModulePath[ModulePathSize];
extern char StartupDirectory[ModulePathSize];
extern char TitleText[TitleTextSize];
extern int PlatformCode;
extern const char* StationRole;   // "Therapist", "Game" or ""
extern int ExitRequested;         // the event loop runs while this is 0

// Cuts `path` (of `length` characters) right after its last path separator; without one, only the
// first character remains.
void CutAfterLastSeparator(char* path, size_t length);

// When `commandLine` contains "STARTUPDIR=", copies everything after it into `directory`, cut to fit.
void ApplyStartupDirArgument(const char* commandLine, char* directory, size_t size);

// "Therapist" when the upper-cased directory contains \BIN, "Game" when it contains GAMES, else "".
const char* DecideStationRole(const char* directory);

// "Tavik Comm Check %s" with the version text, cut to fit.
void FormatTitleText(char* title, size_t size, const char* versionText);

// Module path, title, start directory (with a STARTUPDIR= override) and platform code, in that order.
void PrepareStartup(const char* commandLine);
