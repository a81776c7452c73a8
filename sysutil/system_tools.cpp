// The starters and their commands: the Windows command texts by platform family, and the desktop
// programs that stand for each tool on Linux, in the order they are preferred.
#include "sysutil/system_tools.h"

#include <vector>

namespace {

constexpr int LastOldFamilyCode = 100;

const char* const OldFamilyDxDiag[] = {
    "C:\\windows\\system32\\dxdiag.exe",
    "C:\\windows\\system\\dxdiag.exe",
    "C:\\program files\\directx\\setup\\dxdiag.exe",
};

// A desktop program for a tool: its name, its arguments, and another program it needs (or empty).
struct DesktopCandidate {
  const char* program;
  const char* arguments;
  const char* alsoNeeds;
};

// One tool: its Windows commands by family, and on Linux what it is called and the desktop programs that
// stand for it, in the order they are preferred.
struct ToolEntry {
  SystemTool tool;
  const char* oldFamily;  // empty for the graphics diagnostics, which the old family looks for (OldFamilyDxDiag)
  const char* ntFamily;
  const char* description;
  std::vector<DesktopCandidate> candidates;
};

const ToolEntry Tools[] = {
    {SystemTool::NetworkConnections, "C:\\WINDOWS\\CONTROL.EXE netcpl.cpl", "start /B C:\\Windows\\System32\\ncpa.cpl",
     "network settings tool",
     {{"nm-connection-editor", "", ""},
      {"gnome-control-center", "network", ""},
      {"kcmshell6", "kcm_networkmanagement", ""},
      {"kcmshell5", "kcm_networkmanagement", ""},
      {"cinnamon-settings", "network", ""}}},
    {SystemTool::DeviceManager, "C:\\WINDOWS\\CONTROL.EXE Sysdm.cpl, System,1", "start devmgmt.msc", "device list",
     {{"lshw-gtk", "", ""}, {"hardinfo2", "", ""}, {"hardinfo", "", ""}, {"kinfocenter", "", ""}}},
    {SystemTool::CommandPrompt, "start command.com", "start cmd.exe", "terminal",
     {{"x-terminal-emulator", "", ""},
      {"gnome-terminal", "", ""},
      {"konsole", "", ""},
      {"xfce4-terminal", "", ""},
      {"mate-terminal", "", ""},
      {"lxterminal", "", ""},
      {"xterm", "", ""}}},
    {SystemTool::SystemInformation, "start msinfo32", "start msinfo32.exe", "system information tool",
     {{"hardinfo2", "", ""}, {"hardinfo", "", ""}, {"kinfocenter", "", ""}, {"gnome-control-center", "info-overview", ""}}},
    {SystemTool::FileExplorer, "c:\\Windows\\Explorer.exe /e,c:", "%SYSTEMROOT%\\explorer.exe /e,c:", "file manager",
     {{"xdg-open", "/", ""},
      {"nautilus", "/", ""},
      {"dolphin", "/", ""},
      {"thunar", "/", ""},
      {"pcmanfm", "/", ""},
      {"caja", "/", ""},
      {"nemo", "/", ""}}},
    {SystemTool::ControlPanel, "start control panel", "start control panel", "control panel",
     {{"gnome-control-center", "", ""},
      {"systemsettings", "", ""},
      {"systemsettings5", "", ""},
      {"xfce4-settings-manager", "", ""},
      {"mate-control-center", "", ""},
      {"cinnamon-settings", "", ""},
      {"lxqt-config", "", ""}}},
    {SystemTool::DxDiag, "", "start dxdiag.exe", "graphics diagnostics tool",
     {{"nvidia-settings", "", ""},
      {"hardinfo2", "", ""},
      {"hardinfo", "", ""},
      {"kinfocenter", "", ""},
      {"xterm", "-hold -e glxinfo -B", "glxinfo"}}},
};

const ToolEntry& EntryOf(SystemTool tool) {
  for (const ToolEntry& entry : Tools) {
    if (entry.tool == tool) return entry;
  }
  return Tools[0];
}

// A word for the command processor: single-quoted, with any single quote spelled out.
std::string Quoted(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

int StartNetworkConnections(int platformCode) { return StartSystemTool(SystemTool::NetworkConnections, platformCode); }
int StartDeviceManager(int platformCode) { return StartSystemTool(SystemTool::DeviceManager, platformCode); }
int StartCommandPrompt(int platformCode) { return StartSystemTool(SystemTool::CommandPrompt, platformCode); }
int StartSystemInformation(int platformCode) { return StartSystemTool(SystemTool::SystemInformation, platformCode); }
int StartFileExplorer(int platformCode) { return StartSystemTool(SystemTool::FileExplorer, platformCode); }
int StartControlPanel(int platformCode) { return StartSystemTool(SystemTool::ControlPanel, platformCode); }
int StartDxDiag(int platformCode) { return StartSystemTool(SystemTool::DxDiag, platformCode); }

std::string WindowsToolCommand(SystemTool tool, int platformCode,
                               const std::function<bool(const char* path)>& exists) {
  bool oldFamily = platformCode <= LastOldFamilyCode;
  if (tool == SystemTool::DxDiag && oldFamily) {
    for (const char* path : OldFamilyDxDiag) {
      if (exists(path)) return path;
    }
    return "";
  }
  const ToolEntry& entry = EntryOf(tool);
  return oldFamily ? entry.oldFamily : entry.ntFamily;
}

std::string DesktopToolCommand(SystemTool tool, const std::function<std::string(const std::string&)>& findProgram) {
  for (const DesktopCandidate& candidate : EntryOf(tool).candidates) {
    std::string path = findProgram(candidate.program);
    if (path.empty() || (*candidate.alsoNeeds && findProgram(candidate.alsoNeeds).empty())) continue;
    std::string command = Quoted(path);
    if (*candidate.arguments) command += std::string(" ") + candidate.arguments;
    return command + " </dev/null >/dev/null 2>&1 &";
  }
  return "";
}

std::string MissingDesktopToolMessage(SystemTool tool) {
  const ToolEntry& desktop = EntryOf(tool);
  std::string text = "No " + std::string(desktop.description) + " is installed (looked for";
  const char* separator = " ";
  for (const DesktopCandidate& candidate : desktop.candidates) {
    text += separator + std::string(candidate.program);
    separator = ", ";
  }
  return text + ").";
}
