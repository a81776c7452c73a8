// Single key presses for the link console: read without echo from a terminal, byte by byte as they arrive
// from a pipe or file.
#pragma once

// Puts a terminal into single-key, no-echo mode (restored by ConsoleKeysEnd and at exit).
void ConsoleKeysBegin();
// The next key if one arrives within the time, else -1 (also once the input has ended).
int ConsoleKeyWait(int milliseconds);
void ConsoleKeysEnd();
