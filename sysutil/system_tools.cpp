// The starters and their commands: the Windows command texts by platform family, and the desktop
// programs that stand for each tool on Linux, in the order they are preferred.
#include "sysutil/system_tools.h"

#include <vector>

namespace {

constexpr int LastOldFamilyCode = 100;

int knownPlatformCode = 0;

struct WindowsCommands {
  const char* oldFamily;
  const char* ntFamily;
};

WindowsCommands CommandsOf(SystemTool tool) {
  switch (tool) {
    case SystemTool::NetworkConnections:
      return {"C:\\WINDOWS\\CONTROL.EXE netcpl.cpl", "start /B C:\\Windows\\System32\\ncpa.cpl"};
    case SystemTool::DeviceManager:
      return {"C:\\WINDOWS\\CONTROL.EXE Sysdm.cpl, System,1", "start devmgmt.msc"};
    case SystemTool::CommandPrompt:
      return {"start command.com", "start cmd.exe"};
    case SystemTool::SystemInformation:
      return {"start msinfo32", "start msinfo32.exe"};
    case SystemTool::FileExplorer:
      return {"c:\\Windows\\Explorer.exe /e,c:", "%SYSTEMROOT%\\explorer.exe /e,c:"};
    case SystemTool::ControlPanel:
      return {"start control panel", "start control panel"};
    case SystemTool::DxDiag:
      break;
  }
  return {"", "start dxdiag.exe"};
}

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

struct DesktopTool {
  const char* description;
  std::vector<DesktopCandidate> candidates;
};

const DesktopTool& DesktopToolOf(SystemTool tool) {
  static const DesktopTool network{"network settings tool",
                                   {{"nm-connection-editor", "", ""},
                                    {"gnome-control-center", "network", ""},
                                    {"kcmshell6", "kcm_networkmanagement", ""},
                                    {"kcmshell5", "kcm_networkmanagement", ""},
                                    {"cinnamon-settings", "network", ""}}};
  static const DesktopTool devices{"device list",
                                   {{"lshw-gtk", "", ""},
                                    {"hardinfo2", "", ""},
                                    {"hardinfo", "", ""},
                                    {"kinfocenter", "", ""}}};
  static const DesktopTool terminal{"terminal",
                                    {{"x-terminal-emulator", "", ""},
                                     {"gnome-terminal", "", ""},
                                     {"konsole", "", ""},
                                     {"xfce4-terminal", "", ""},
                                     {"mate-terminal", "", ""},
                                     {"lxterminal", "", ""},
                                     {"xterm", "", ""}}};
  static const DesktopTool information{"system information tool",
                                       {{"hardinfo2", "", ""},
                                        {"hardinfo", "", ""},
                                        {"kinfocenter", "", ""},
                                        {"gnome-control-center", "info-overview", ""}}};
  static const DesktopTool files{"file manager",
                                 {{"xdg-open", "/", ""},
                                  {"nautilus", "/", ""},
                                  {"dolphin", "/", ""},
                                  {"thunar", "/", ""},
                                  {"pcmanfm", "/", ""},
                                  {"caja", "/", ""},
                                  {"nemo", "/", ""}}};
  static const DesktopTool panel{"control panel",
                                 {{"gnome-control-center", "", ""},
                                  {"systemsettings", "", ""},
                                  {"systemsettings5", "", ""},
                                  {"xfce4-settings-manager", "", ""},
                                  {"mate-control-center", "", ""},
                                  {"cinnamon-settings", "", ""},
                                  {"lxqt-config", "", ""}}};
  static const DesktopTool graphics{"graphics diagnostics tool",
                                    {{"nvidia-settings", "", ""},
                                     {"hardinfo2", "", ""},
                                     {"hardinfo", "", ""},
                                     {"kinfocenter", "", ""},
                                     {"xterm", "-hold -e glxinfo -B", "glxinfo"}}};
  switch (tool) {
    case SystemTool::NetworkConnections: return network;
    case SystemTool::DeviceManager: return devices;
    case SystemTool::CommandPrompt: return terminal;
    case SystemTool::SystemInformation: return information;
    case SystemTool::FileExplorer: return files;
    case SystemTool::ControlPanel: return panel;
    case SystemTool::DxDiag: break;
  }
  return graphics;
}

// A word for the command processor: single-quoted, with any single quote spelled out.
std::string Quoted(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

void SetPlatformCode(int code) { knownPlatformCode = code; }
int PlatformCode() { return knownPlatformCode; }

int StartNetworkConnections() { return StartSystemTool(SystemTool::NetworkConnections); }
int StartDeviceManager() { return StartSystemTool(SystemTool::DeviceManager); }
int StartCommandPrompt() { return StartSystemTool(SystemTool::CommandPrompt); }
int StartSystemInformation() { return StartSystemTool(SystemTool::SystemInformation); }
int StartFileExplorer() { return StartSystemTool(SystemTool::FileExplorer); }
int StartControlPanel() { return StartSystemTool(SystemTool::ControlPanel); }
int StartDxDiag() { return StartSystemTool(SystemTool::DxDiag); }

std::string WindowsToolCommand(SystemTool tool, int platformCode,
                               const std::function<bool(const char* path)>& exists) {
  bool oldFamily = platformCode <= LastOldFamilyCode;
  if (tool == SystemTool::DxDiag && oldFamily) {
    for (const char* path : OldFamilyDxDiag) {
      if (exists(path)) return path;
    }
    return "";
  }
  WindowsCommands commands = CommandsOf(tool);
  return oldFamily ? commands.oldFamily : commands.ntFamily;
}

std::string DesktopToolCommand(SystemTool tool, const std::function<std::string(const std::string&)>& findProgram) {
  for (const DesktopCandidate& candidate : DesktopToolOf(tool).candidates) {
    std::string path = findProgram(candidate.program);
    if (path.empty() || (*candidate.alsoNeeds && findProgram(candidate.alsoNeeds).empty())) continue;
    std::string command = Quoted(path);
    if (*candidate.arguments) command += std::string(" ") + candidate.arguments;
    return command + " </dev/null >/dev/null 2>&1 &";
  }
  return "";
}

std::string MissingDesktopToolMessage(SystemTool tool) {
  const DesktopTool& desktop = DesktopToolOf(tool);
  std::string text = "No " + std::string(desktop.description) + " is installed (looked for";
  const char* separator = " ";
  for (const DesktopCandidate& candidate : desktop.candidates) {
    text += separator + std::string(candidate.program);
    separator = ", ";
  }
  return text + ").";
}
