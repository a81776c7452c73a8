// Moving a finished file over an existing one in one step.
#pragma once

// Renames `from` to `to`, replacing `to` if it exists; false when the system refuses.
bool ReplaceFileWith(const char* from, const char* to);
