// The starters' commands: the Windows texts by platform family, and the desktop programs of Linux
// found on a PATH of the test's own. Nothing is started.
#include "sysutil/system_tools.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::string Windows(SystemTool tool, int platformCode, std::set<std::string> present = {}) {
  return WindowsToolCommand(tool, platformCode, [&](const char* path) { return present.count(path) > 0; });
}

// Finds the given programs in /usr/bin.
std::function<std::string(const std::string&)> Finder(std::set<std::string> installed) {
  return [installed](const std::string& name) { return installed.count(name) ? "/usr/bin/" + name : ""; };
}

const SystemTool AllTools[] = {SystemTool::NetworkConnections, SystemTool::DeviceManager,
                               SystemTool::CommandPrompt,      SystemTool::SystemInformation,
                               SystemTool::FileExplorer,       SystemTool::ControlPanel,
                               SystemTool::DxDiag};

}  // namespace

TEST(WindowsToolCommandTest, NtFamilyCommands) {
  for (int code : {101, 102, 111, 113}) {
    EXPECT_EQ(Windows(SystemTool::NetworkConnections, code), "start /B C:\\Windows\\System32\\ncpa.cpl");
    EXPECT_EQ(Windows(SystemTool::DeviceManager, code), "start devmgmt.msc");
    EXPECT_EQ(Windows(SystemTool::CommandPrompt, code), "start cmd.exe");
    EXPECT_EQ(Windows(SystemTool::SystemInformation, code), "start msinfo32.exe");
    EXPECT_EQ(Windows(SystemTool::FileExplorer, code), "%SYSTEMROOT%\\explorer.exe /e,c:");
    EXPECT_EQ(Windows(SystemTool::ControlPanel, code), "start control panel");
    EXPECT_EQ(Windows(SystemTool::DxDiag, code), "start dxdiag.exe");
  }
}

TEST(WindowsToolCommandTest, OldFamilyAndFailedQueryCommands) {
  for (int code : {0, 5, 8, 90, 100, -3}) {
    EXPECT_EQ(Windows(SystemTool::NetworkConnections, code), "C:\\WINDOWS\\CONTROL.EXE netcpl.cpl");
    EXPECT_EQ(Windows(SystemTool::DeviceManager, code), "C:\\WINDOWS\\CONTROL.EXE Sysdm.cpl, System,1");
    EXPECT_EQ(Windows(SystemTool::CommandPrompt, code), "start command.com");
    EXPECT_EQ(Windows(SystemTool::SystemInformation, code), "start msinfo32");
    EXPECT_EQ(Windows(SystemTool::FileExplorer, code), "c:\\Windows\\Explorer.exe /e,c:");
    EXPECT_EQ(Windows(SystemTool::ControlPanel, code), "start control panel");
  }
}

TEST(WindowsToolCommandTest, OldFamilyGraphicsDiagnosticsTakesTheFirstPresentFile) {
  const std::string first = "C:\\windows\\system32\\dxdiag.exe";
  const std::string second = "C:\\windows\\system\\dxdiag.exe";
  const std::string third = "C:\\program files\\directx\\setup\\dxdiag.exe";
  EXPECT_EQ(Windows(SystemTool::DxDiag, 8, {third}), third);
  EXPECT_EQ(Windows(SystemTool::DxDiag, 8, {third, second}), second);
  EXPECT_EQ(Windows(SystemTool::DxDiag, 0, {first, second, third}), first);
  EXPECT_EQ(Windows(SystemTool::DxDiag, 8), "");
}

TEST(DesktopToolCommandTest, PrefersTheDesktopsOwnToolsInOrder) {
  auto finder = Finder({"xterm", "gnome-terminal", "nautilus", "xdg-open", "gnome-control-center"});
  EXPECT_EQ(DesktopToolCommand(SystemTool::CommandPrompt, finder),
            "'/usr/bin/gnome-terminal' </dev/null >/dev/null 2>&1 &");
  EXPECT_EQ(DesktopToolCommand(SystemTool::FileExplorer, finder), "'/usr/bin/xdg-open' / </dev/null >/dev/null 2>&1 &");
  EXPECT_EQ(DesktopToolCommand(SystemTool::NetworkConnections, finder),
            "'/usr/bin/gnome-control-center' network </dev/null >/dev/null 2>&1 &");
  EXPECT_EQ(DesktopToolCommand(SystemTool::ControlPanel, finder),
            "'/usr/bin/gnome-control-center' </dev/null >/dev/null 2>&1 &");
}

TEST(DesktopToolCommandTest, GraphicsDiagnosticsInATerminalNeedsBothPrograms) {
  EXPECT_EQ(DesktopToolCommand(SystemTool::DxDiag, Finder({"xterm"})), "");
  EXPECT_EQ(DesktopToolCommand(SystemTool::DxDiag, Finder({"xterm", "glxinfo"})),
            "'/usr/bin/xterm' -hold -e glxinfo -B </dev/null >/dev/null 2>&1 &");
}

TEST(DesktopToolCommandTest, NothingInstalledGivesNoCommandButADescription) {
  for (SystemTool tool : AllTools) {
    EXPECT_EQ(DesktopToolCommand(tool, Finder({})), "");
    EXPECT_NE(MissingDesktopToolMessage(tool).find(" is installed (looked for "), std::string::npos);
  }
  EXPECT_EQ(MissingDesktopToolMessage(SystemTool::CommandPrompt),
            "No terminal is installed (looked for x-terminal-emulator, gnome-terminal, konsole, xfce4-terminal, "
            "mate-terminal, lxterminal, xterm).");
}

TEST(DesktopToolCommandTest, OddProgramPathsAreQuotedForTheCommandProcessor) {
  auto finder = [](const std::string& name) { return name == "xterm" ? std::string("/opt/it's here/xterm") : ""; };
  EXPECT_EQ(DesktopToolCommand(SystemTool::CommandPrompt, finder),
            "'/opt/it'\\''s here/xterm' </dev/null >/dev/null 2>&1 &");
}

TEST(StartSystemToolTest, ReportsWhenNoToolIsInstalled) {
  std::string savedPath = getenv("PATH");
  setenv("PATH", "/nonexistent", 1);
  testing::internal::CaptureStderr();
  int result = StartDxDiag(0);
  std::string said = testing::internal::GetCapturedStderr();
  setenv("PATH", savedPath.c_str(), 1);
  if (said.empty()) GTEST_SKIP() << "a graphics diagnostics tool is installed in a system folder";
  EXPECT_NE(result, 0);
  EXPECT_NE(said.find("No graphics diagnostics tool is installed"), std::string::npos);
}
