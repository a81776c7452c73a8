// The ports and configuration report: the suite's configuration version, a processor and memory
// summary and the COM ports found, kept as the head of every later game test.
#pragma once

#include <cstddef>

constexpr size_t PortsReportSize = 2000;

// The text of the last BuildPortsReport; later actions start their pane text with it.
extern char PortsReport[PortsReportSize];

// Clears the pane, rescans the COM ports, rebuilds PortsReport and sets the identity box.
void BuildPortsReport();

// "Rescan ports/Tavik config": the report, fresh device settings, and the pane showing the report.
void ScanPortsAndConfig();
