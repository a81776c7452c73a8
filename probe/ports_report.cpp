// Builds PortsReport from the configuration version file, the system summary and a port scan.
#include "ports_report.h"

#include <cstdio>
#include <cstring>

#include "device_settings.h"
#include "output_pane.h"
#include "sysutil/com_scan.h"
#include "sysutil/host_address.h"
#include "appbase/identity_box.h"
#include "appbase/ports_section.h"

char PortsReport[PortsReportSize] = "";

namespace {

// Appends at most PortsReportSize characters of `piece`, cut where the report is full.
void AppendToReport(const char* piece) {
  size_t length = std::strlen(PortsReport);
  std::snprintf(PortsReport + length, PortsReportSize - length, "%s", piece);
}

}  // namespace

void BuildPortsReport() {
  outputPane.Clear();
  PortsReport[0] = '\0';
  ScanComPorts(MaxComPort, ComPortTable);
  AppendToReport(ConfigVersionLine().c_str());
  AppendToReport(GetSystemSummary());
  AppendToReport(ComPortSection().c_str());
  AppendToReport("********************************\n");
  GetHostAddressLine();
  identityBox.Set(HostAddressLine);
}

void ScanPortsAndConfig() {
  BuildPortsReport();
  ReadDeviceSettings();
  outputPane.Append(PortsReport);
  outputPane.Refresh();
}
