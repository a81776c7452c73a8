// The start-up facts both programs decide the same way: the folder a program treats as its own (its
// module path cut after the last separator, or the STARTUPDIR= argument), the station role named by
// that folder, and the platform code the system's tools are started by.
#pragma once

#include <cstddef>

constexpr size_t ModulePathSize = 260;
constexpr size_t TitleTextSize = 200;

// The running program's facts, process-wide, set once at start-up.
extern char ModulePath[ModulePathSize];
extern char StartupDirectory[ModulePathSize];
extern char TitleText[TitleTextSize];
extern const char* StationRole;  // "Therapist", "Game" or ""
extern int PlatformCode;         // GetPlatformCode() at start-up, which the tool starters are given

// ModulePath, StartupDirectory (with a STARTUPDIR= override in `commandLine`) and PlatformCode, in that
// order.
void PrepareProgramStartup(const char* commandLine);

// Cuts `path` (of `length` characters) right after its last path separator; without one, only the
// first character remains.
void CutAfterLastSeparator(char* path, size_t length);

// When `commandLine` contains "STARTUPDIR=", copies everything after it into `directory`, cut to fit.
void ApplyStartupDirArgument(const char* commandLine, char* directory, size_t size);

// "Therapist" when the upper-cased directory contains \BIN, "Game" when it contains GAMES, else "".
// Slashes read as backslashes, so a directory of this machine is judged like its Windows form.
const char* DecideStationRole(const char* directory);
