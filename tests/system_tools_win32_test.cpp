// The Windows starters and the network shell as they reach the system: each starter runs its tool's
// program from the system's folders, and the address change asks the shell to run System32's netsh with
// "runas". Recording stand-ins take the system programs' places (and copies lie beside the test program
// and in its current folder, where a search by name would find them first): no tool starts, no setting changes.
#include "sysutil/system_tools.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "eventually.h"
#include "netsetup/network_shell.h"
#include "windows_test_support.h"

namespace {

namespace fs = std::filesystem;

class SystemToolsWin32 : public RecordingHelperTest {
 protected:
  void SetUp() override {
    if (!RunsUnderWine()) GTEST_SKIP() << "only Wine lets a test replace the system's own programs";
  }
  // The lines the stand-ins recorded once one has (or after a few seconds), and forgets them.
  std::string TakeLines() {
    Eventually([this] { return !Recorded().empty(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // a second start would show by now
    std::string text = Recorded();
    std::remove(Record().c_str());
    return text;
  }
};

fs::path SystemFolder() {
  char folder[MAX_PATH];
  const UINT length = GetSystemDirectoryA(folder, sizeof folder);
  return length > 0 && length < sizeof folder ? fs::path(folder) : fs::path();
}

// Stand-ins in place of system programs, which Wine is told to run as they are instead of its own, and
// the programs put back however the test ends: the prefix outlives the test program. Files named in
// `planted` go into the folders `besides` as well (a folder named twice once). ok(): every file is in place.
class SystemStandIns {
 public:
  SystemStandIns(std::vector<std::string> programs, std::vector<fs::path> besides, std::vector<std::string> planted)
      : programs_(std::move(programs)) {
    std::error_code error;
    // Removed first: a copy over a file that a crashed run left behind fails on MinGW's library.
    auto copy = [this, &error](const fs::path& to) {
      fs::remove(to, error);
      ok_ = fs::copy_file(RECORDING_HELPER, to, error) && ok_;
    };
    for (const std::string& program : programs_) {
      if (fs::exists(SystemFolder() / program, error)) fs::rename(SystemFolder() / program, Saved(program), error);
      copy(SystemFolder() / program);
      RegSetKeyValueA(HKEY_CURRENT_USER, Overrides, program.c_str(), REG_SZ, "native", sizeof "native");
    }
    for (std::size_t i = 0; i < besides.size(); ++i) {
      if (i > 0 && fs::equivalent(besides[i], besides[0], error)) continue;
      for (const std::string& name : planted) copy(plantedFiles_.emplace_back(besides[i] / name));
    }
  }
  bool ok() const { return ok_; }
  ~SystemStandIns() {
    std::error_code ignored;
    for (const fs::path& file : plantedFiles_) fs::remove(file, ignored);
    for (const std::string& program : programs_) {
      RegDeleteKeyValueA(HKEY_CURRENT_USER, Overrides, program.c_str());
      fs::remove(SystemFolder() / program, ignored);
      if (fs::exists(Saved(program), ignored)) fs::rename(Saved(program), SystemFolder() / program, ignored);
    }
  }
  SystemStandIns(const SystemStandIns&) = delete;
  SystemStandIns& operator=(const SystemStandIns&) = delete;

 private:
  static constexpr const char* Overrides = "Software\\Wine\\DllOverrides";
  static fs::path Saved(const std::string& program) { return SystemFolder() / (program + ".tavik-saved"); }

  std::vector<std::string> programs_;
  std::vector<fs::path> plantedFiles_;
  bool ok_ = true;
};

const fs::path OwnFolder = fs::path(OwnProgramPath()).parent_path();

// The file explorer is left out: Wine's explorer.exe is the desktop itself, and may not be replaced.
const std::pair<int (*)(int platformCode), SystemTool> Starters[] = {
    {StartNetworkConnections, SystemTool::NetworkConnections},
    {StartDeviceManager, SystemTool::DeviceManager},
    {StartCommandPrompt, SystemTool::CommandPrompt},
    {StartSystemInformation, SystemTool::SystemInformation},
    {StartControlPanel, SystemTool::ControlPanel},
    {StartDxDiag, SystemTool::DxDiag},
};

// Each starter runs its program from the system folder, with the control panel item or console by its
// full path there too, exactly once; none of the same names planted beside the test program is run.
TEST_F(SystemToolsWin32, EachStarterRunsTheSystemsOwnProgramNeverOnePlantedBesideIt) {
  const std::vector<std::string> tools{"cmd.exe", "control.exe", "msinfo32.exe", "dxdiag.exe", "mmc.exe"};
  std::vector<std::string> planted = tools;
  planted.insert(planted.end(), {"devmgmt.msc", "ncpa.cpl"});
  const SystemStandIns standIns(tools, {OwnFolder, fs::current_path()}, planted);
  ASSERT_TRUE(standIns.ok());
  const WindowsFolders folders{SystemFolder().string(), SystemFolder().parent_path().string()};
  for (const auto& [start, tool] : Starters) {
    const WindowsToolStart expected = WindowsToolCommand(tool, 111, folders, [](const char*) { return false; });
    SCOPED_TRACE(expected.commandLine);
    EXPECT_EQ(expected.program.rfind(folders.system + "\\", 0), 0u);
    EXPECT_EQ(start(111), 0) << "started";
    EXPECT_EQ(TakeLines(), expected.commandLine + "\n");
  }
}

// The old family's first place for the graphics diagnostics is Wine's system folder.
TEST_F(SystemToolsWin32, OldFamilyGraphicsDiagnosticsRunsTheFirstFileThatExists) {
  const SystemStandIns standIn({"dxdiag.exe"}, {}, {});
  ASSERT_TRUE(standIn.ok());
  EXPECT_EQ(StartDxDiag(8), 0);
  EXPECT_EQ(TakeLines(), "\"C:\\windows\\system32\\dxdiag.exe\"\n");
}

// netsh comes from the system folder even where a netsh.exe lies beside the program (found first by its
// bare name). Windows itself would ask the user before it runs anything with "runas".
TEST_F(SystemToolsWin32, NetworkShellRunsTheSystemsNetshWithTheParameterText) {
  const SystemStandIns standIn({"netsh.exe"}, {OwnFolder}, {"netsh.exe"});
  ASSERT_TRUE(standIn.ok());
  const std::string parameters =
      "interface ip set address name=\"Local Area Connection\" static 192.168.10.1 255.255.255.0 ";
  RunNetworkShell(parameters);
  EXPECT_EQ(TakeLines(), "\"" + (SystemFolder() / "netsh.exe").string() + "\" " + parameters + "\n");
}

}  // namespace
