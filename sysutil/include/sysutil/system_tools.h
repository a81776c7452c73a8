// Starting the operating system's own administration tools: network connections, device manager,
// command prompt, system information, file explorer, control panel and graphics diagnostics.
#pragma once

#include <functional>
#include <string>

// The seven starters. Each starts its tool and returns 0 once it is started on Windows (else the
// system's error code), the command processor's result on Linux; no caller needs it, and they show
// nothing. On Windows the command is chosen by the program's platform code: at most 100 is the old
// family (or a failed version query). The desktop starters of Linux ignore it.
int StartNetworkConnections(int platformCode);
int StartDeviceManager(int platformCode);
int StartCommandPrompt(int platformCode);
int StartSystemInformation(int platformCode);
int StartFileExplorer(int platformCode);
int StartControlPanel(int platformCode);
int StartDxDiag(int platformCode);

enum class SystemTool {
  NetworkConnections,
  DeviceManager,
  CommandPrompt,
  SystemInformation,
  FileExplorer,
  ControlPanel,
  DxDiag,
};

// Starts a tool the platform's way (the platform file) and returns what the starters return.
int StartSystemTool(SystemTool tool, int platformCode);

// The folders that hold Windows' own tools: the system folder (System32) and the Windows folder.
struct WindowsFolders {
  std::string system;
  std::string windows;
};

// How a Windows tool is started: its program by full path, the whole command line (the program quoted,
// then its arguments) and the folder it starts in (empty: the program's current folder).
struct WindowsToolStart {
  std::string program;
  std::string commandLine;
  std::string startFolder;
};

// The start of a tool for a platform code, with its files in `folders`; `exists` tests a file for the
// old family's search of the graphics diagnostics. Returns an empty program when there is nothing to run.
WindowsToolStart WindowsToolCommand(SystemTool tool, int platformCode, const WindowsFolders& folders,
                                    const std::function<bool(const char* path)>& exists);

// The desktop command that starts a tool in the background on Linux: the first candidate that
// `findProgram` finds (it returns a full path or empty). Empty when none is installed.
std::string DesktopToolCommand(SystemTool tool, const std::function<std::string(const std::string&)>& findProgram);

// "No <tool> is installed (looked for <programs>)."
std::string MissingDesktopToolMessage(SystemTool tool);
