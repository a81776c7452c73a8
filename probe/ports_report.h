// The ports and configuration report: the suite's configuration version, a processor and memory
// summary and the COM ports found, kept as the head of every later game test.
#pragma once

#include <cstddef>

struct ProbeState;

// Size of the report text (ProbeState::portsReport), terminator included.
constexpr size_t PortsReportSize = 2000;

// Clears the pane, rescans the COM ports, rebuilds the ports report and sets the identity box.
void BuildPortsReport(ProbeState& state);

// "Rescan ports/Tavik config": the report, fresh device settings, and the pane showing the report.
void ScanPortsAndConfig(ProbeState& state);
