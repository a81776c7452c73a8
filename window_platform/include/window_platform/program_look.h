// The look of both programs' windows, kept the same on Windows and Linux.
#pragma once

// Sets the toolkit up before the first window is built. On Linux the toolkit's sans-serif faces become
// Liberation Sans, metric-compatible with the Arial that Windows draws them in, so that every label
// fits its button as it does on Windows (where it is not installed, the system's usual sans-serif face
// stays). On Windows every window carries the program's icon.
void ApplyProgramLook();
