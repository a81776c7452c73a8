// The starters' commands: the Windows texts by platform family, and the desktop programs of Linux
// found on a PATH of the test's own. Nothing is started.
#include "sysutil/system_tools.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// A system folder with a blank in it: every path must come out quoted.
const WindowsFolders Folders{"D:\\Win dows\\System32", "D:\\Win dows"};

WindowsToolStart Windows(SystemTool tool, int platformCode, std::set<std::string> present = {}) {
  return WindowsToolCommand(tool, platformCode, Folders, [&](const char* path) { return present.count(path) > 0; });
}
std::string Line(SystemTool tool, int platformCode) { return Windows(tool, platformCode).commandLine; }

// Finds the given programs in /usr/bin.
std::function<std::string(const std::string&)> Finder(std::set<std::string> installed) {
  return [installed](const std::string& name) { return installed.count(name) ? "/usr/bin/" + name : ""; };
}

const SystemTool AllTools[] = {
    SystemTool::NetworkConnections, SystemTool::DeviceManager, SystemTool::CommandPrompt, SystemTool::SystemInformation,
    SystemTool::FileExplorer,       SystemTool::ControlPanel,  SystemTool::DxDiag};

}  // namespace

// Each tool is its program by full path in the system's folders, never a bare name for a search to
// find, with the control panel item or management console by full path too.
TEST(WindowsToolCommandTest, NtFamilyRunsEachProgramByItsFullPath) {
  for (int code : {101, 102, 111, 113}) {
    EXPECT_EQ(Line(SystemTool::NetworkConnections, code),
              "\"D:\\Win dows\\System32\\control.exe\" \"D:\\Win dows\\System32\\ncpa.cpl\"");
    EXPECT_EQ(Line(SystemTool::DeviceManager, code),
              "\"D:\\Win dows\\System32\\mmc.exe\" \"D:\\Win dows\\System32\\devmgmt.msc\"");
    EXPECT_EQ(Line(SystemTool::CommandPrompt, code), "\"D:\\Win dows\\System32\\cmd.exe\"");
    EXPECT_EQ(Line(SystemTool::SystemInformation, code), "\"D:\\Win dows\\System32\\msinfo32.exe\"");
    EXPECT_EQ(Line(SystemTool::FileExplorer, code), "\"D:\\Win dows\\explorer.exe\" /e,c:");
    EXPECT_EQ(Line(SystemTool::ControlPanel, code), "\"D:\\Win dows\\System32\\control.exe\"");
    EXPECT_EQ(Line(SystemTool::DxDiag, code), "\"D:\\Win dows\\System32\\dxdiag.exe\"");
  }
  const WindowsToolStart prompt = Windows(SystemTool::CommandPrompt, 111);
  EXPECT_EQ(prompt.program, "D:\\Win dows\\System32\\cmd.exe");
  EXPECT_EQ(prompt.startFolder, "") << "the command prompt opens in the program's own folder";
  EXPECT_EQ(Windows(SystemTool::DeviceManager, 111).program, "D:\\Win dows\\System32\\mmc.exe");
  EXPECT_EQ(Windows(SystemTool::DeviceManager, 111).startFolder, Folders.system);
  const WindowsFolders unknown{"", "C:\\Windows"};
  EXPECT_EQ(WindowsToolCommand(SystemTool::ControlPanel, 111, unknown, [](const char*) { return true; }).program, "")
      << "without its folder a tool is not run at all";
}

TEST(WindowsToolCommandTest, OldFamilyAndFailedQueryCommands) {
  for (int code : {0, 5, 8, 90, 100, -3}) {
    EXPECT_EQ(Line(SystemTool::NetworkConnections, code),
              "\"D:\\Win dows\\control.exe\" \"D:\\Win dows\\System32\\netcpl.cpl\"");
    EXPECT_EQ(Line(SystemTool::DeviceManager, code),
              "\"D:\\Win dows\\control.exe\" \"D:\\Win dows\\System32\\sysdm.cpl\", System,1");
    EXPECT_EQ(Line(SystemTool::CommandPrompt, code), "\"D:\\Win dows\\System32\\command.com\"");
    EXPECT_EQ(Line(SystemTool::SystemInformation, code), "\"D:\\Win dows\\System32\\msinfo32.exe\"");
    EXPECT_EQ(Line(SystemTool::FileExplorer, code), "\"D:\\Win dows\\explorer.exe\" /e,c:");
    EXPECT_EQ(Line(SystemTool::ControlPanel, code), "\"D:\\Win dows\\System32\\control.exe\"");
  }
}

TEST(WindowsToolCommandTest, OldFamilyGraphicsDiagnosticsTakesTheFirstPresentFile) {
  const std::string first = "C:\\windows\\system32\\dxdiag.exe";
  const std::string second = "C:\\windows\\system\\dxdiag.exe";
  const std::string third = "C:\\program files\\directx\\setup\\dxdiag.exe";
  EXPECT_EQ(Windows(SystemTool::DxDiag, 8, {third}).commandLine, "\"" + third + "\"");
  EXPECT_EQ(Windows(SystemTool::DxDiag, 8, {third, second}).program, second);
  EXPECT_EQ(Windows(SystemTool::DxDiag, 0, {first, second, third}).program, first);
  EXPECT_EQ(Windows(SystemTool::DxDiag, 8).program, "");
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
