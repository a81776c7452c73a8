// The report is made of the texts the window shows, taken from the pane after each action, so that it
// says exactly what the window says.
#include "probe_report.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "amplifier_check.h"
#include "game_communications.h"
#include "platform/system_log.h"
#include "probe_startup.h"
#include "probe_state.h"
#include "report_output.h"

namespace {

// Adds `text` as lines of their own: some of the window's failure texts end mid-line.
void AppendLines(std::string& report, std::string_view text) {
  report += text;
  if (!text.empty() && text.back() != '\n') report += '\n';
}

// The name of the button whose findings follow, on a line of its own.
void AppendHeading(std::string& report, const char* label) {
  report += "\n--- ";
  report += label;
  report += " ---\n";
}

// The game test's pane without the ports report at its head, already in the report once.
std::string_view WithoutPortsReport(const ProbeState& state) {
  std::string_view shown(state.pane.Text());
  const std::string_view head(state.portsReport);
  if (shown.substr(0, head.size()) == head) shown.remove_prefix(head.size());
  return shown;
}

bool WriteToStandardOutput(const std::string& text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  return std::fflush(stdout) == 0 && written;
}

// Nobody may be watching the terminal of a remote-management tool: the system's log hears it too.
void ReportOutputFailure(const std::string& where) {
  const std::string message = "REPORT could not write its text to " + where;
  std::fprintf(stderr, "linkprobe: %s\n", message.c_str());
  WriteSystemLog(SystemLogLevel::Error, message);
}

void WriteReport(const std::string& text) {
  if (StandardOutputGiven() && !WriteToStandardOutput(text)) ReportOutputFailure("the standard output");
  const std::string failed = WriteReportCopy(text);
  if (!failed.empty()) ReportOutputFailure(failed);
}

}  // namespace

int RunReport(ProbeState& state) {
  std::string report;
  AppendLines(report, TitleText);
  ReadDeviceSettingsInto(state.settings);
  ScanPortsAndConfig(state);
  AppendLines(report, state.identity.Text());
  AppendLines(report, state.pane.Text());

  AppendHeading(report, GameTestLabel);
  const bool answered = TestGameCommunications(state);
  AppendLines(report, WithoutPortsReport(state));

  AppendHeading(report, AmplifierTestLabel);
  const bool found = TestConfiguredAmplifier(state, 1) == AmplifierFound;
  AppendLines(report, state.pane.Text());

  WriteReport(report);
  return (answered ? 0 : ReportGameLinkFailed) | (found ? 0 : ReportAmplifierFailed);
}
