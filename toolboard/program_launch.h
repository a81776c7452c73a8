// Starting a sibling program of the suite by its path and waiting for its end.
#pragma once

#include <string>

// The file a program path names on this machine: suite paths (C:\Tavik\...) under the suite's root,
// relative paths against the current directory; a name ending in ".exe" is looked up as given, then
// without it. Empty when there is no such file.
std::string LocateProgramFile(const char* path);

// Starts the program at `path` with the path itself as its only argument and waits until it ends.
// Returns its exit code, or -1 when it could not be started (nothing else is reported).
int RunProgramAndWait(const char* path);
