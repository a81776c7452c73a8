// The Windows starters and the network shell as they reach the system: each starter hands its command
// text to the command processor and the address change asks the shell to run System32's netsh with
// "runas". A recording program stands in for the command processor (COMSPEC) and for netsh, so that no
// tool starts and no network setting changes.
#include "sysutil/system_tools.h"

#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "read_file.h"
#include "scratch_tree.h"
#include "netsetup/network_shell.h"
#include "windows_test_support.h"

namespace {

class SystemToolsWin32 : public ::testing::Test {
 protected:
  SystemToolsWin32() : tree_("tavik_tools") {
    const char* comspec = std::getenv("COMSPEC");
    savedComspec_ = comspec ? comspec : "";
    _putenv_s("COMSPEC", RECORDING_HELPER);
    _putenv_s("TAVIK_HELPER_RECORD", Record().c_str());
  }
  ~SystemToolsWin32() override {
    _putenv_s("COMSPEC", savedComspec_.c_str());
    _putenv_s("TAVIK_HELPER_RECORD", "");
  }

  std::string Record() const { return tree_.Path("record.txt"); }
  // The last line the stand-in recorded, and forgets the record.
  std::string TakeLine() {
    std::string text = ReadWholeText(Record());
    std::remove(Record().c_str());
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  static bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
  }

  ScratchTree tree_;
  std::string savedComspec_;
};

struct Starter {
  int (*start)(int platformCode);
  SystemTool tool;
};

const Starter Starters[] = {
    {StartNetworkConnections, SystemTool::NetworkConnections}, {StartDeviceManager, SystemTool::DeviceManager},
    {StartCommandPrompt, SystemTool::CommandPrompt},           {StartSystemInformation, SystemTool::SystemInformation},
    {StartFileExplorer, SystemTool::FileExplorer},             {StartControlPanel, SystemTool::ControlPanel},
};

TEST_F(SystemToolsWin32, EachStarterHandsItsFamilysCommandToTheCommandProcessor) {
  auto never = [](const char*) { return false; };
  for (int code : {111, 101, 8, 0}) {
    for (const Starter& starter : Starters) {
      const std::string command = WindowsToolCommand(starter.tool, code, never);
      SCOPED_TRACE(std::to_string(code) + ": " + command);
      EXPECT_EQ(starter.start(code), 37) << "the command processor's result comes back";
      EXPECT_TRUE(EndsWith(TakeLine(), "/c " + command));
    }
  }
  StartCommandPrompt(111);
  EXPECT_TRUE(EndsWith(TakeLine(), "/c start cmd.exe"));
  StartNetworkConnections(111);
  EXPECT_TRUE(EndsWith(TakeLine(), "/c start /B C:\\Windows\\System32\\ncpa.cpl"));
  StartDxDiag(111);
  EXPECT_TRUE(EndsWith(TakeLine(), "/c start dxdiag.exe"));
  StartDeviceManager(8);
  EXPECT_TRUE(EndsWith(TakeLine(), "/c C:\\WINDOWS\\CONTROL.EXE Sysdm.cpl, System,1"));
}

TEST_F(SystemToolsWin32, OldFamilyGraphicsDiagnosticsRunsTheFirstFileThatExists) {
  const char* const places[] = {"C:\\windows\\system32\\dxdiag.exe", "C:\\windows\\system\\dxdiag.exe",
                                "C:\\program files\\directx\\setup\\dxdiag.exe"};
  const char* first = nullptr;
  for (const char* place : places) {
    if (!first && _access(place, 0) == 0) first = place;
  }
  const int result = StartDxDiag(8);
  if (first) {
    EXPECT_EQ(result, 37);
    EXPECT_TRUE(EndsWith(TakeLine(), std::string("/c ") + first));
  } else {
    EXPECT_NE(result, 0) << "nothing to run is a failed status call";
    EXPECT_EQ(TakeLine(), "");
  }
}

TEST_F(SystemToolsWin32, MissingCommandProcessorIsAClearFailure) {
  _putenv_s("COMSPEC", tree_.Path("missing.exe").c_str());
  EXPECT_EQ(StartCommandPrompt(111), -1);
  EXPECT_EQ(TakeLine(), "");
}

// Puts the system's netsh back, with Wine's own in charge of it, however the test ends (a copy that
// throws, an assertion that returns early): the prefix outlives the test program.
struct NetshRestore {
  std::filesystem::path systemNetsh, saved, planted;
  const char* overrides;
  ~NetshRestore() {
    RegDeleteKeyValueA(HKEY_CURRENT_USER, overrides, "netsh.exe");
    std::error_code ignored;
    std::filesystem::remove(planted, ignored);
    if (!std::filesystem::exists(saved, ignored)) return;
    std::filesystem::remove(systemNetsh, ignored);
    std::filesystem::rename(saved, systemNetsh, ignored);
  }
};

// netsh comes from the system folder even where a netsh.exe lies beside the program (which would be
// found first by its bare name). Under Wine a stand-in takes the system's netsh's place for the test,
// loaded as the program it is instead of Wine's own netsh.
TEST_F(SystemToolsWin32, NetworkShellRunsTheSystemsNetshWithTheParameterText) {
  if (!RunsUnderWine()) GTEST_SKIP() << "Windows asks the user before it runs anything with \"runas\"";
  char own[MAX_PATH];
  GetModuleFileNameA(nullptr, own, sizeof own);
  const std::filesystem::path planted = std::filesystem::path(own).parent_path() / "netsh.exe";
  char system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(system, sizeof system), 0u);
  const std::filesystem::path systemNetsh = std::filesystem::path(system) / "netsh.exe";
  const NetshRestore restore{systemNetsh, std::filesystem::path(system) / "netsh.exe.tavik-saved", planted,
                             "Software\\Wine\\DllOverrides"};
  std::filesystem::copy_file(RECORDING_HELPER, planted, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::rename(systemNetsh, restore.saved);
  std::filesystem::copy_file(RECORDING_HELPER, systemNetsh);
  const std::string parameters =
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.1 255.255.255.0 ";
  RegSetKeyValueA(HKEY_CURRENT_USER, restore.overrides, "netsh.exe", REG_SZ, "native", sizeof "native");
  RunNetworkShell(parameters);
  for (int wait = 0; wait < 100 && ReadWholeText(Record()).empty(); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const std::string line = ReadWholeText(Record());
  EXPECT_EQ(line, "\"" + systemNetsh.string() + "\" " + parameters + "\n");
}

}  // namespace
