// Builds PortsReport from the configuration version file, the system summary and a port scan.
#include "ports_report.h"

#include <cstdio>
#include <cstring>

#include "device_settings.h"
#include "identity_box.h"
#include "output_pane.h"
#include "sysutil/com_scan.h"
#include "sysutil/host_address.h"
#include "sysutil/tavik_path.h"

char PortsReport[PortsReportSize] = "";

namespace {

const char* const ConfigVersionPath = "C:\\Tavik\\BIN\\Tconfig.";
constexpr int ConfigLineSize = 260;   // the first line is read up to 259 characters

// Appends at most PortsReportSize characters of `piece`, cut where the report is full.
void AppendToReport(const char* piece) {
  size_t length = std::strlen(PortsReport);
  std::snprintf(PortsReport + length, PortsReportSize - length, "%s", piece);
}

void AppendConfigVersion() {
  FILE* file = std::fopen(TavikPath(ConfigVersionPath).c_str(), "r");
  if (file == nullptr) return;
  char line[ConfigLineSize];
  if (std::fgets(line, sizeof line, file) == nullptr) line[0] = '\0';
  std::fclose(file);
  AppendToReport("Version       : ");
  AppendToReport(line);
}

void AppendPortList() {
  char row[32];
  int count = 0;
  for (int n = 1; n <= ComPortTable[0] && n <= MaxComPort; ++n) count += ComPortTable[n] != PortAbsent;
  AppendToReport("******************************\nCOMM PORTS found");
  if (count == 0) {
    AppendToReport("(NONE)\n");
  } else {
    std::snprintf(row, sizeof row, "(%d)\n", count);
    AppendToReport(row);
  }
  for (int n = 1; n <= ComPortTable[0] && n <= MaxComPort; ++n) {
    if (ComPortTable[n] == PortAbsent) continue;
    std::snprintf(row, sizeof row, "   COM%d %c\n", n, ComPortTable[n] == PortBusy ? '*' : ' ');
    AppendToReport(row);
  }
  AppendToReport("********************************\n");
}

}  // namespace

void BuildPortsReport() {
  outputPane.Clear();
  PortsReport[0] = '\0';
  ScanComPorts(MaxComPort, ComPortTable);
  AppendConfigVersion();
  AppendToReport(GetSystemSummary());
  AppendPortList();
  GetHostAddressLine();
  identityBox.Set(HostAddressLine);
}

void ScanPortsAndConfig() {
  BuildPortsReport();
  ReadDeviceSettings();
  outputPane.Append(PortsReport);
  outputPane.Refresh();
}
