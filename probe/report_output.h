// Where linkprobe REPORT's text goes besides standard output, the platform's way (report_output_posix.cpp,
// report_output_win32.cpp).
#pragma once

#include <string>

// The file that linkprobe.exe REPORT writes in its current folder.
constexpr const char* ReportFileName = "linkprobe-report.txt";

// False when the program was started without a standard output to write to.
bool StandardOutputGiven();

// Keeps a copy of `text` where the platform's users find it: ReportFileName in the current folder on
// Windows; nowhere more on Linux. Returns the place that could not be written, or an empty text.
std::string WriteReportCopy(const std::string& text);
