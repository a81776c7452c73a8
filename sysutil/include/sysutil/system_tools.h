// Starting the operating system's own administration tools: network connections, device manager,
// command prompt, system information, file explorer, control panel and graphics diagnostics.
#pragma once

#include <functional>
#include <string>

// The seven starters. Each starts its tool and returns the command processor's result, which no
// caller needs; they show nothing. On Windows the command is chosen by the program's platform code:
// at most 100 is the old family (or a failed version query). The desktop starters of Linux ignore it.
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

// Starts a tool the platform's way (the platform file) and returns the command processor's result.
int StartSystemTool(SystemTool tool, int platformCode);

// The Windows command line of a tool for a platform code; `exists` tests a file for the old family's
// search of the graphics diagnostics. Empty when there is nothing to run.
std::string WindowsToolCommand(SystemTool tool, int platformCode,
                               const std::function<bool(const char* path)>& exists);

// The desktop command that starts a tool in the background on Linux: the first candidate that
// `findProgram` finds (it returns a full path or empty). Empty when none is installed.
std::string DesktopToolCommand(SystemTool tool, const std::function<std::string(const std::string&)>& findProgram);

// "No <tool> is installed (looked for <programs>)."
std::string MissingDesktopToolMessage(SystemTool tool);
