// Builds the ports report from the configuration version file, the system summary and a port scan.
#include "ports_report.h"

#include <cstdio>
#include <cstring>

#include "appbase/ports_section.h"
#include "probe_state.h"
#include "sysutil/host_address.h"

namespace {

// Appends at most PortsReportSize characters of `piece`, cut where the report is full.
void AppendToReport(char* report, const char* piece) {
  size_t length = std::strlen(report);
  std::snprintf(report + length, PortsReportSize - length, "%s", piece);
}

}  // namespace

void BuildPortsReport(ProbeState& state) {
  state.pane.Clear();
  char* report = state.portsReport;
  report[0] = '\0';
  ScanComPorts(MaxComPort, state.ports.data());
  AppendToReport(report, ConfigVersionLine().c_str());
  AppendToReport(report, GetSystemSummary());
  AppendToReport(report, ComPortSection(state.ports).c_str());
  AppendToReport(report, "********************************\n");
  state.identity.Set(GetHostAddressLine());
}

void ScanPortsAndConfig(ProbeState& state) {
  BuildPortsReport(state);
  ReadDeviceSettingsInto(state.settings);
  state.pane.Append(state.portsReport);
  state.pane.Refresh();
}
