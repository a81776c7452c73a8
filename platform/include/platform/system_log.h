// The system's log, for what goes wrong where no one looks at a window or a terminal: syslog on POSIX
// systems (journalctl -t NAME shows it), the Application event log on Windows (Event Viewer, source NAME).
// NAME is the program's own file name without its extension: linkprobe, toolboard, tavik-setip.
#pragma once

#include <string>

enum class SystemLogLevel { Error, Warning, Notice };

// Sends one report to the system's log under this program's name. Nothing is returned: a log that
// cannot be reached must not stop the work it reports on.
void WriteSystemLog(SystemLogLevel level, const std::string& text);
