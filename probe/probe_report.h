// linkprobe REPORT: what the window shows after its start-up and after its two test buttons, as text for
// a technician on the phone or a remote-management tool that cannot read a window, with the two tests'
// verdicts as the exit status.
#pragma once

struct ProbeState;

// Exit status bits of REPORT; 0 when both tests passed.
constexpr int ReportGameLinkFailed = 1;   // the game computer did not answer the echo request
constexpr int ReportAmplifierFailed = 2;  // the amplifier check did not find the configured amplifier

// The command-line word that asks for the report.
constexpr const char* ReportWord = "REPORT";

// The window's title and address line, the start-up's ports and configuration report, then
// "Test  Game Communications", then "Test Configured Amplifier" under their buttons' names, each run as
// the window runs it; the game test's text without the ports report it repeats. The text goes to
// standard output and, on Windows, to ReportFileName as well. Returns the exit status bits.
int RunReport(ProbeState& state);
