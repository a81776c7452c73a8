// The Windows starters and the network shell as they reach the system: each starter runs its tool's
// program from the system's folders, and the address change asks the shell to run System32's netsh with
// "runas". Recording stand-ins take the system programs' places (and copies of them, named like each
// tool, lie beside the test program and in its current folder, where a search by name would find them
// first), so that no tool starts and no network setting changes.
#include "sysutil/system_tools.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "eventually.h"
#include "read_file.h"
#include "scratch_tree.h"
#include "netsetup/network_shell.h"
#include "windows_test_support.h"

namespace {

class SystemToolsWin32 : public ::testing::Test {
 protected:
  SystemToolsWin32() : tree_("tavik_tools") { _putenv_s("TAVIK_HELPER_RECORD", Record().c_str()); }
  ~SystemToolsWin32() override { _putenv_s("TAVIK_HELPER_RECORD", ""); }

  std::string Record() const { return tree_.Path("record.txt"); }
  // The lines the stand-ins recorded once one has (or after a few seconds), and forgets them.
  std::string TakeLines() {
    Eventually([this] { return !ReadWholeText(Record()).empty(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // a second start would show by now
    std::string text = ReadWholeText(Record());
    std::remove(Record().c_str());
    return text;
  }

  ScratchTree tree_;
};

std::filesystem::path SystemFolder() {
  char folder[MAX_PATH];
  const UINT length = GetSystemDirectoryA(folder, sizeof folder);
  return length > 0 && length < sizeof folder ? std::filesystem::path(folder) : std::filesystem::path();
}

// Stand-ins in place of system programs, which Wine is told to run as they are instead of its own, and
// the programs put back however the test ends (a copy that throws, an assertion that returns early): the
// prefix outlives the test program. Files named in `planted` are put in the folders `besides` as well
// (a folder named twice once). Nothing throws; ok() tells whether every file is in place.
class SystemStandIns {
 public:
  SystemStandIns(std::vector<std::string> programs, std::vector<std::filesystem::path> besides,
                 std::vector<std::string> planted)
      : programs_(std::move(programs)) {
    std::error_code error;
    // Removed first: a copy over a file that a crashed run left behind fails on MinGW's library.
    auto copy = [this, &error](const std::filesystem::path& to) {
      std::filesystem::remove(to, error);
      ok_ = std::filesystem::copy_file(RECORDING_HELPER, to, error) && ok_;
    };
    for (const std::string& program : programs_) {
      const std::filesystem::path system = SystemFolder() / program;
      if (std::filesystem::exists(system, error)) std::filesystem::rename(system, Saved(program), error);
      copy(system);
      RegSetKeyValueA(HKEY_CURRENT_USER, Overrides, program.c_str(), REG_SZ, "native", sizeof "native");
    }
    for (std::size_t i = 0; i < besides.size(); ++i) {
      if (i > 0 && std::filesystem::equivalent(besides[i], besides[0], error)) continue;
      for (const std::string& name : planted) {
        plantedFiles_.push_back(besides[i] / name);
        copy(plantedFiles_.back());
      }
    }
  }
  bool ok() const { return ok_; }
  ~SystemStandIns() {
    std::error_code ignored;
    for (const std::filesystem::path& file : plantedFiles_) std::filesystem::remove(file, ignored);
    for (const std::string& program : programs_) {
      RegDeleteKeyValueA(HKEY_CURRENT_USER, Overrides, program.c_str());
      std::filesystem::remove(SystemFolder() / program, ignored);
      if (std::filesystem::exists(Saved(program), ignored))
        std::filesystem::rename(Saved(program), SystemFolder() / program, ignored);
    }
  }
  SystemStandIns(const SystemStandIns&) = delete;
  SystemStandIns& operator=(const SystemStandIns&) = delete;

 private:
  static constexpr const char* Overrides = "Software\\Wine\\DllOverrides";
  static std::filesystem::path Saved(const std::string& program) { return SystemFolder() / (program + ".tavik-saved"); }

  std::vector<std::string> programs_;
  std::vector<std::filesystem::path> plantedFiles_;
  bool ok_ = true;
};

std::filesystem::path OwnFolder() {
  char own[MAX_PATH];
  GetModuleFileNameA(nullptr, own, sizeof own);
  return std::filesystem::path(own).parent_path();
}

struct Starter {
  int (*start)(int platformCode);
  SystemTool tool;
};

// The file explorer is left out: Wine's explorer.exe is the desktop itself, and may not be replaced.
const Starter Starters[] = {
    {StartNetworkConnections, SystemTool::NetworkConnections},
    {StartDeviceManager, SystemTool::DeviceManager},
    {StartCommandPrompt, SystemTool::CommandPrompt},
    {StartSystemInformation, SystemTool::SystemInformation},
    {StartControlPanel, SystemTool::ControlPanel},
    {StartDxDiag, SystemTool::DxDiag},
};

// Each starter runs its program from the system folder, with the control panel item or console by its
// full path there too, exactly once; none of the programs and files of the same names planted beside the
// test program and in its current folder is run.
TEST_F(SystemToolsWin32, EachStarterRunsTheSystemsOwnProgramNeverOnePlantedBesideIt) {
  if (!RunsUnderWine()) GTEST_SKIP() << "only Wine lets a test replace the system's own programs";
  const std::vector<std::string> tools{"cmd.exe", "control.exe", "msinfo32.exe", "dxdiag.exe", "mmc.exe"};
  std::vector<std::string> planted = tools;
  planted.insert(planted.end(), {"devmgmt.msc", "ncpa.cpl"});
  const SystemStandIns standIns(tools, {OwnFolder(), std::filesystem::current_path()}, planted);
  ASSERT_TRUE(standIns.ok());
  const WindowsFolders folders{SystemFolder().string(), SystemFolder().parent_path().string()};
  for (const Starter& starter : Starters) {
    const WindowsToolStart expected = WindowsToolCommand(starter.tool, 111, folders, [](const char*) { return false; });
    SCOPED_TRACE(expected.commandLine);
    EXPECT_EQ(expected.program.rfind(folders.system + "\\", 0), 0u);
    EXPECT_EQ(starter.start(111), 0) << "started";
    EXPECT_EQ(TakeLines(), expected.commandLine + "\n");
  }
}

// The old family's first place for the graphics diagnostics is Wine's system folder.
TEST_F(SystemToolsWin32, OldFamilyGraphicsDiagnosticsRunsTheFirstFileThatExists) {
  if (!RunsUnderWine()) GTEST_SKIP() << "only Wine lets a test replace the system's own programs";
  const SystemStandIns standIn({"dxdiag.exe"}, {}, {});
  ASSERT_TRUE(standIn.ok());
  EXPECT_EQ(StartDxDiag(8), 0);
  EXPECT_EQ(TakeLines(), "\"C:\\windows\\system32\\dxdiag.exe\"\n");
}

// netsh comes from the system folder even where a netsh.exe lies beside the program (which would be
// found first by its bare name). Under Wine a stand-in takes the system's netsh's place for the test,
// loaded as the program it is instead of Wine's own netsh.
TEST_F(SystemToolsWin32, NetworkShellRunsTheSystemsNetshWithTheParameterText) {
  if (!RunsUnderWine()) GTEST_SKIP() << "Windows asks the user before it runs anything with \"runas\"";
  const SystemStandIns standIn({"netsh.exe"}, {OwnFolder()}, {"netsh.exe"});
  ASSERT_TRUE(standIn.ok());
  const std::string parameters =
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.1 255.255.255.0 ";
  RunNetworkShell(parameters);
  EXPECT_EQ(TakeLines(), "\"" + (SystemFolder() / "netsh.exe").string() + "\" " + parameters + "\n");
}

}  // namespace
