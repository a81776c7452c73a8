// Ctrl-C at the console, ping's way: it asks the run to end with its summary instead of ending the
// program at once.
#pragma once

// Installs the watch: SIGINT and SIGTERM on POSIX systems, Ctrl-C and Ctrl-Break on Windows; no result.
void WatchConsoleInterrupt();
// Whether an interrupt came since the watch was installed.
bool ConsoleInterrupted();
