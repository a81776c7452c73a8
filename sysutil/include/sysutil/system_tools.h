// Starting the operating system's own administration tools: network connections, device manager,
// command prompt, system information, file explorer, control panel and graphics diagnostics.
#pragma once

#include <functional>
#include <string>

// The program's platform code, kept here: each program sets it once at start-up from GetPlatformCode().
// The Windows starters pick their command by PlatformCode() <= 100 (the old family, or a failed version
// query); the desktop starters of Linux do not need it. 0 until set.
void SetPlatformCode(int code);
int PlatformCode();

// The seven starters. Each starts its tool and returns the command processor's result, which no
// caller needs; they show nothing.
int StartNetworkConnections();
int StartDeviceManager();
int StartCommandPrompt();
int StartSystemInformation();
int StartFileExplorer();
int StartControlPanel();
int StartDxDiag();

enum class SystemTool {
  NetworkConnections,
  DeviceManager,
  CommandPrompt,
  SystemInformation,
  FileExplorer,
  ControlPanel,
  DxDiag,
};

// Starts a tool the platform's way (the platform file).
int StartSystemTool(SystemTool tool);

// The Windows command line of a tool for a platform code; `exists` tests a file for the old family's
// search of the graphics diagnostics. Empty when there is nothing to run.
std::string WindowsToolCommand(SystemTool tool, int platformCode,
                               const std::function<bool(const char* path)>& exists);

// The desktop command that starts a tool in the background on Linux: the first candidate that
// `findProgram` finds (it returns a full path or empty). Empty when none is installed.
std::string DesktopToolCommand(SystemTool tool, const std::function<std::string(const std::string&)>& findProgram);

// "No <tool> is installed (looked for <programs>)."
std::string MissingDesktopToolMessage(SystemTool tool);
