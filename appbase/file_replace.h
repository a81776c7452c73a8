// Moving a finished file over an existing one in one step, and making the new file it comes from.
#pragma once

#include <cstdio>

// Renames `from` to `to`, replacing `to` if it exists; false when the system refuses.
bool ReplaceFileWith(const char* from, const char* to);

// Creates `name` for writing, in text mode (line feeds become the platform's line ends) or binary mode,
// only if nothing of that name exists yet, not even a dangling link; nullptr otherwise.
std::FILE* CreateNewFile(const char* name, bool textMode);
