// A copy of what a program's output area shows, written to the file that TAVIK_PANE_DUMP names, so
// that a test (or a technician's script) can read the window's text without reading the screen.
#pragma once

#include <cstddef>

// Writes `text` to the file named by TAVIK_PANE_DUMP, if set; a reader never sees a half-written file.
void DumpShownText(const char* text, size_t length);
