// The starters and their commands: the Windows programs by platform family, each by its full path in the
// system's folders (never by a bare name, which Windows would look for in the current folder first), and
// the desktop programs that stand for each tool on Linux, in the order they are preferred.
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

// The folder a Windows tool's program lies in.
enum class ToolFolder { System, Windows };

// A Windows tool's program in its folder, and its arguments, in which {system} stands for the system
// folder: control panel items and management consoles are named by their full path too.
struct WindowsCommand {
  ToolFolder folder;
  const char* program;  // nullptr for the old family's graphics diagnostics (OldFamilyDxDiag)
  const char* arguments;
};

// One tool: its Windows commands by family, where it starts, and on Linux what it is called and the
// desktop programs that stand for it, in the order they are preferred.
struct ToolEntry {
  SystemTool tool;
  WindowsCommand oldFamily;
  WindowsCommand ntFamily;
  bool inCurrentFolder;  // the command prompt opens where the program runs, the others in the system folder
  const char* description;
  std::vector<DesktopCandidate> candidates;
};

const ToolEntry Tools[] = {
    {SystemTool::NetworkConnections,
     {ToolFolder::Windows, "control.exe", "\"{system}\\netcpl.cpl\""},
     {ToolFolder::System, "control.exe", "\"{system}\\ncpa.cpl\""},
     false,
     "network settings tool",
     {{"nm-connection-editor", "", ""},
      {"gnome-control-center", "network", ""},
      {"kcmshell6", "kcm_networkmanagement", ""},
      {"kcmshell5", "kcm_networkmanagement", ""},
      {"cinnamon-settings", "network", ""}}},
    {SystemTool::DeviceManager,
     {ToolFolder::Windows, "control.exe", "\"{system}\\sysdm.cpl\", System,1"},
     {ToolFolder::System, "mmc.exe", "\"{system}\\devmgmt.msc\""},
     false,
     "device list",
     {{"lshw-gtk", "", ""}, {"hardinfo2", "", ""}, {"hardinfo", "", ""}, {"kinfocenter", "", ""}}},
    {SystemTool::CommandPrompt,
     {ToolFolder::System, "command.com", ""},
     {ToolFolder::System, "cmd.exe", ""},
     true,
     "terminal",
     {{"x-terminal-emulator", "", ""},
      {"gnome-terminal", "", ""},
      {"konsole", "", ""},
      {"xfce4-terminal", "", ""},
      {"mate-terminal", "", ""},
      {"lxterminal", "", ""},
      {"xterm", "", ""}}},
    {SystemTool::SystemInformation,
     {ToolFolder::System, "msinfo32.exe", ""},
     {ToolFolder::System, "msinfo32.exe", ""},
     false,
     "system information tool",
     {{"hardinfo2", "", ""},
      {"hardinfo", "", ""},
      {"kinfocenter", "", ""},
      {"gnome-control-center", "info-overview", ""}}},
    {SystemTool::FileExplorer,
     {ToolFolder::Windows, "explorer.exe", "/e,c:"},
     {ToolFolder::Windows, "explorer.exe", "/e,c:"},
     false,
     "file manager",
     {{"xdg-open", "/", ""},
      {"nautilus", "/", ""},
      {"dolphin", "/", ""},
      {"thunar", "/", ""},
      {"pcmanfm", "/", ""},
      {"caja", "/", ""},
      {"nemo", "/", ""}}},
    {SystemTool::ControlPanel,
     {ToolFolder::System, "control.exe", ""},
     {ToolFolder::System, "control.exe", ""},
     false,
     "control panel",
     {{"gnome-control-center", "", ""},
      {"systemsettings", "", ""},
      {"systemsettings5", "", ""},
      {"xfce4-settings-manager", "", ""},
      {"mate-control-center", "", ""},
      {"cinnamon-settings", "", ""},
      {"lxqt-config", "", ""}}},
    {SystemTool::DxDiag,
     {ToolFolder::System, nullptr, ""},
     {ToolFolder::System, "dxdiag.exe", ""},
     false,
     "graphics diagnostics tool",
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

// The arguments with each {system} replaced by the system folder.
std::string WithSystemFolder(std::string arguments, const std::string& systemFolder) {
  const std::string placeholder = "{system}";
  for (std::size_t at = arguments.find(placeholder); at != std::string::npos;
       at = arguments.find(placeholder, at + systemFolder.size()))
    arguments.replace(at, placeholder.size(), systemFolder);
  return arguments;
}

}  // namespace

int StartNetworkConnections(int platformCode) { return StartSystemTool(SystemTool::NetworkConnections, platformCode); }
int StartDeviceManager(int platformCode) { return StartSystemTool(SystemTool::DeviceManager, platformCode); }
int StartCommandPrompt(int platformCode) { return StartSystemTool(SystemTool::CommandPrompt, platformCode); }
int StartSystemInformation(int platformCode) { return StartSystemTool(SystemTool::SystemInformation, platformCode); }
int StartFileExplorer(int platformCode) { return StartSystemTool(SystemTool::FileExplorer, platformCode); }
int StartControlPanel(int platformCode) { return StartSystemTool(SystemTool::ControlPanel, platformCode); }
int StartDxDiag(int platformCode) { return StartSystemTool(SystemTool::DxDiag, platformCode); }

WindowsToolStart WindowsToolCommand(SystemTool tool, int platformCode, const WindowsFolders& folders,
                                    const std::function<bool(const char* path)>& exists) {
  const ToolEntry& entry = EntryOf(tool);
  const WindowsCommand& command = platformCode <= LastOldFamilyCode ? entry.oldFamily : entry.ntFamily;
  WindowsToolStart start;
  start.startFolder = entry.inCurrentFolder ? "" : folders.system;
  if (!command.program) {
    for (const char* path : OldFamilyDxDiag) {
      if (!exists(path)) continue;
      start.program = path;
      start.commandLine = std::string("\"") + path + "\"";
      break;
    }
    return start;
  }
  const std::string& folder = command.folder == ToolFolder::System ? folders.system : folders.windows;
  if (folder.empty() || folders.system.empty()) return start;  // an unknown folder is no folder to search
  start.program = folder + "\\" + command.program;
  start.commandLine = "\"" + start.program + "\"";
  if (*command.arguments) start.commandLine += " " + WithSystemFolder(command.arguments, folders.system);
  return start;
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
