// linkprobe.exe and toolboard.exe as a technician uses them: under Wine on the private X server, from
// C:\Tavik of the Wine session's prefix, driven with xdotool and read through TAVIK_PANE_DUMP; where a
// text does not depend on the platform, the Linux program on the same folder must show the same. Run in
// tests/wine_session.sh: TAVIK_WINDOWS_BUILD(_X86) name the 64-bit (32-bit) build, TAVIK_SCREENSHOTS the
// folder for pictures of both programs' windows, Linux left and Wine right.
#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gui_test_support.h"
#include "scripted_game_computer.h"
#include "shell_command.h"
#include "toolboard_test_support.h"
#include "window_capture.h"

namespace {

namespace fs = std::filesystem;
using guitest::Xdotool;
using namespace toolboardtest;

const char* const Wine = "/usr/lib/wine/wine64";  // starts 32-bit programs through wine32 by itself
const char* const WineServer = "/usr/lib/wine/wineserver";

// Thu Dec 10 12:00:00 2026 UTC: a two-digit day, which Windows' and Linux's ctime write alike.
constexpr time_t ProgramDate = 1796904000;
const char* const ProgramDateLine = "Thu Dec 10 12:00:00 2026\n";

const char* const EthernetSettings =
    "DisplayMode = 2\nInput_Source = C2+\nCommunications_class = Ethernet\nEthernetAddress = 127.0.0.1\n"
    "EthernetPort = 5510\n";

std::string Getenv(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string AfterFirstLine(const std::string& text) { return text.substr(text.find('\n') + 1); }

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// Runs a Wine program (reg, wineboot, wineserver) with its output dropped; its exit code, or -1 when it
// did not end within two minutes (it is then killed).
int RunWineQuietly(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  constexpr int WineStepLimitMs = 120000;
  ChildStart quiet{env};
  quiet.environmentOnly = true;
  quiet.output = ChildOutput::ToFile;
  quiet.outputFile = "/dev/null";
  ChildProcess step(args[0], {args.begin() + 1, args.end()}, quiet);
  return step.Wait(WineStepLimitMs);
}

// The session's Wine server started again under this program's X server: Wine's desktop process, which
// every window belongs to, keeps the display it was started with, and the session started it without.
// Wine then tells programs that they run on Windows 10, as the suite's computers do.
class WineDesktop : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_FALSE(Getenv("WINEPREFIX").empty()) << "run under tests/wine_session.sh";
    const std::vector<std::string> env{"WINEPREFIX=" + Getenv("WINEPREFIX"), "HOME=" + Getenv("HOME"),
                                       "DISPLAY=" + guitest::displayName,    "WINEDEBUG=-all",
                                       "WINEDLLOVERRIDES=mscoree,mshtml=",   "PATH=/usr/bin:/bin"};
    EXPECT_EQ(RunWineQuietly({Wine, "reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win10", "/f"}, env),
              0);
    for (const char* step : {"-k", "-w"}) RunWineQuietly({WineServer, step}, env);
    EXPECT_EQ(RunWineQuietly({WineServer, "-p"}, env), 0);
    EXPECT_EQ(RunWineQuietly({Wine, "wineboot"}, env), 0);
  }
  // Before the X server goes: Wine's processes would report the lost display.
  void TearDown() override {
    const std::vector<std::string> env{"WINEPREFIX=" + Getenv("WINEPREFIX"), "HOME=" + Getenv("HOME")};
    for (const char* step : {"-k", "-w"}) RunWineQuietly({WineServer, step}, env);
  }
};

// One Windows build and its packages ("-win64.zip", "-win64-setup.exe"; "-win64-unsigned.zip" and so on
// from a build without a signing certificate).
struct WindowsBuild {
  std::string arch;  // "win64" or "win32"
  fs::path folder;
  fs::path Package(const std::string& ending) const {
    const std::string name = "tavik-service-tools-" TAVIK_VERSION "-" + arch;
    const fs::path signedPackage = folder / (name + ending);
    return fs::exists(signedPackage) ? signedPackage : folder / (name + "-unsigned" + ending);
  }
};

std::vector<WindowsBuild> Builds() {
  std::vector<WindowsBuild> builds{{"win64", Getenv("TAVIK_WINDOWS_BUILD")}};
  if (!Getenv("TAVIK_WINDOWS_BUILD_X86").empty()) builds.push_back({"win32", Getenv("TAVIK_WINDOWS_BUILD_X86")});
  return builds;
}

// Rings of the X server's bell (the toolkit's error beep on both systems), heard from its creation on.
class BellWatch {
 public:
  BellWatch()
      : display_(XkbOpenDisplay(const_cast<char*>(guitest::displayName.c_str()), &eventBase_, nullptr, nullptr, nullptr,
                                nullptr)) {
    if (display_) {
      XkbSelectEvents(display_, XkbUseCoreKbd, XkbBellNotifyMask, XkbBellNotifyMask);
      XSync(display_, False);
    }
  }
  ~BellWatch() {
    if (display_) XCloseDisplay(display_);
  }
  bool Rang(double seconds) {
    return display_ && Eventually(
                           [this] {
                             while (XPending(display_) > 0) {
                               XkbEvent event;
                               XNextEvent(display_, &event.core);
                               if (event.type == eventBase_ && event.any.xkb_type == XkbBellNotify) return true;
                             }
                             return false;
                           },
                           seconds);
  }

 private:
  int eventBase_ = 0;
  Display* display_;
};

// Labels (left, top, width, height) that show once a window is drawn: linkprobe's and the menu's "Done (Exit)".
struct Label {
  int x, y, w, h;
};
constexpr Label DoneLabel{240, 463, 100, 19}, MenuDoneLabel{240, 478, 100, 19};

bool ShowsLabel(const std::string& window, Label label, double seconds) {
  return guitest::ShowsBlack(window, label.x, label.y, label.w, label.h, seconds);
}

// The suite folder C:\Tavik of the session's prefix, with the win64 zip unpacked into it; the Linux
// program reads the same folder (and the prefix's COM ports) through TAVIK_ROOT.
class WineSuite : public ::testing::Test {
 protected:
  fs::path prefix = Getenv("WINEPREFIX");
  fs::path root = prefix / "drive_c" / "Tavik";
  ScratchTree host{"tavik-wine-host"};  // the empty system tree the Linux program sees
  std::vector<std::unique_ptr<ChildProcess>> started;
  std::string dllOverrides = "mscoree,mshtml=";  // Wine's load order for the programs started
  const std::string wineDump = "TAVIK_PANE_DUMP=C:\\Tavik\\wine.txt";

  void SetUp() override {
    ASSERT_FALSE(Getenv("WINEPREFIX").empty()) << "run under tests/wine_session.sh";
    ASSERT_FALSE(Getenv("TAVIK_WINDOWS_BUILD").empty()) << "TAVIK_WINDOWS_BUILD names no Windows build";
    fs::remove_all(root);
    Write("PREFERENCES/SETTINGS/DEVS.NIN", "DisplayMode = 2\nInput_Source = C2+\n");
    WriteConfiguration("Tavik 5.2 demo\n");
    for (const char* folder : {"sys/class/tty", "sys/bus/usb/devices", "proc"})
      host.Write(folder + std::string("/.keep"), "");
    fs::create_directory_symlink(prefix / "dosdevices", root / "dosdevices");
    Unpack(Builds()[0]);
  }
  void TearDown() override {
    for (auto& child : started) child->Wait(500);
    started.clear();  // a child still running is killed as it goes
    fs::remove_all(root);
  }

  void Write(const std::string& relative, const std::string& text) {
    fs::create_directories((root / relative).parent_path());
    std::ofstream(root / relative, std::ios::binary) << text;
  }
  // Windows drops the trailing dot of "Tconfig." when it opens the file; Linux keeps it.
  void WriteConfiguration(const std::string& text) {
    Write("BIN/Tconfig", text);
    Write("BIN/Tconfig.", text);
  }
  void Unpack(const WindowsBuild& build) {
    const std::string zip = build.Package(".zip").string();
    ASSERT_EQ(RunCommand("cd '" + root.string() + "' && cmake -E tar xf '" + zip + "'"), 0) << zip;
    for (const char* program : {"linkprobe.exe", "toolboard.exe"})
      SetModificationTime((root / "BIN" / program).string(), ProgramDate);
  }

  std::string LinuxDump() const { return "TAVIK_PANE_DUMP=" + (root / "linux.txt").string(); }
  static fs::path BuildFile(const std::string& relative) { return fs::path(Getenv("TAVIK_WINDOWS_BUILD")) / relative; }

  std::vector<std::string> WineEnvironment(std::vector<std::string> extra) {
    extra.insert(extra.end(), {"WINEPREFIX=" + Getenv("WINEPREFIX"), "HOME=" + Getenv("HOME"), "WINEDEBUG=-all",
                               "WINEDLLOVERRIDES=" + dllOverrides, "TZ=UTC"});
    return guitest::ProgramEnvironment(extra, TOOLKIT_LEAKS_PATH);
  }
  std::vector<std::string> LinuxEnvironment(std::vector<std::string> extra) {
    extra.insert(extra.end(), {"TAVIK_ROOT=" + root.string(), "TAVIK_SYSFS=" + host.Path("sys"),
                               "TAVIK_PROCFS=" + host.Path("proc"), "TZ=UTC"});
    return guitest::ProgramEnvironment(extra, TOOLKIT_LEAKS_PATH);
  }

  // Starts a program of C:\Tavik\BIN (or another Windows program by its Linux or Windows path) in
  // C:\Tavik\BIN, its standard output to `outputFile` when one is given. The fixture owns the child.
  ChildProcess* StartWine(const std::string& program, std::vector<std::string> arguments,
                          std::vector<std::string> env = {}, const std::string& outputFile = "") {
    const bool inSuite = program.find_first_of("/\\") == std::string::npos;
    arguments.insert(arguments.begin(), inSuite ? "C:\\Tavik\\BIN\\" + program : program);
    return Track(Wine, arguments, WineEnvironment(env), outputFile);
  }
  ChildProcess* StartLinux(const std::string& program, std::vector<std::string> arguments,
                           std::vector<std::string> env = {}, const std::string& outputFile = "") {
    return Track(program, arguments, LinuxEnvironment(env), outputFile);
  }
  ChildProcess* Track(const std::string& program, const std::vector<std::string>& arguments,
                      const std::vector<std::string>& env, const std::string& outputFile) {
    ChildStart start{env};
    start.environmentOnly = true;
    start.directory = (root / "BIN").string();
    start.output = outputFile.empty() ? ChildOutput::Shown : ChildOutput::ToFile;
    start.outputFile = outputFile;
    started.push_back(std::make_unique<ChildProcess>(program, arguments, start));
    return started.back().get();
  }
  // Waits for the child: its exit code, or -1 when it did not end in time (it is then killed).
  int Finish(ChildProcess* child, double seconds = 15) {
    const int code = child->Wait(static_cast<int>(seconds * 1000));
    started.erase(std::remove_if(started.begin(), started.end(), [&](const auto& own) { return own.get() == child; }),
                  started.end());
    return code;
  }

  std::string Dump(const std::string& name) const { return ReadWholeFile((root / name).string()); }
  // Waits until the dump differs from `old` (and is not empty), and returns it.
  std::string DumpAfter(const std::string& name, const std::string& old, double seconds = 10) {
    std::string now;
    Eventually([&] { return !(now = Dump(name)).empty() && now != old; }, seconds);
    return Dump(name);
  }

  // A window, once the program has drawn the label in it.
  std::string DrawnWindow(const std::string& title, Label label) {
    std::string window = guitest::FindVisibleWindow(title);
    if (!window.empty()) {
      EXPECT_TRUE(ShowsLabel(window, label, 10)) << title;
    }
    return window;
  }
  std::string ProbeWindow() { return DrawnWindow("^Tavik Comm Check", DoneLabel); }
  void SavePicture(const std::string& name, const guitest::Picture& linuxView, const guitest::Picture& wineView) {
    const std::string folder = Getenv("TAVIK_SCREENSHOTS");
    if (folder.empty()) return;
    fs::create_directories(folder);
    EXPECT_TRUE(guitest::SavePng(guitest::SideBySide(linuxView, wineView), folder + "/" + name));
  }
};

// --- linkprobe ------------------------------------------------------------------------------------

TEST_F(WineSuite, LinkProbeShowsTheLinuxReportRescansAndEndsWithDone) {
  struct View {
    std::string firstReport, rescanned, title;
    guitest::Picture picture;
  };
  auto run = [&](ChildProcess* child, const std::string& dump) {
    View view;
    EXPECT_TRUE(child->started());
    const std::string window = ProbeWindow();
    if (window.empty()) return view;
    view.firstReport = DumpAfter(dump, "");
    view.title = Xdotool("getwindowname " + window);
    view.picture = guitest::CaptureWindow(window);
    WriteConfiguration("Tavik 5.3");
    guitest::ClickAt(window, 30 + 142, 325 + 15);  // "Rescan ports/Tavik config"
    view.rescanned = DumpAfter(dump, view.firstReport);
    WriteConfiguration("Tavik 5.2 demo\n");
    guitest::ClickAt(window, 100 + 190, 460 + 12);  // "Done (Exit)"
    EXPECT_EQ(Finish(child), 0);
    return view;
  };
  const View onLinux = run(StartLinux(LINKPROBE_PATH, {}, {LinuxDump()}), "linux.txt");
  const View onWine = run(StartWine("linkprobe.exe", {}, {wineDump}), "wine.txt");
  EXPECT_EQ(onWine.firstReport.rfind("Version       : Tavik 5.2 demo\n", 0), 0u) << onWine.firstReport;
  EXPECT_EQ(onWine.firstReport, onLinux.firstReport);
  EXPECT_EQ(onWine.rescanned.rfind("Version       : Tavik 5.3****", 0), 0u) << onWine.rescanned;
  EXPECT_EQ(onWine.rescanned, onLinux.rescanned);
  // The title carries the build text of the program's own version resource and the file's date.
  EXPECT_EQ(onWine.title, std::string("Tavik Comm Check PB=1.3  ") + ProgramDateLine + "\n");
  SavePicture("linkprobe.png", onLinux.picture, onWine.picture);
}

// Against gameecho.exe, then against a game computer that never answers: the ten seconds of echo wait,
// during which the window still paints.
TEST_F(WineSuite, GameLinkTestAnsweredByGameEchoAndFailingWhenNothingAnswers) {
  Write("PREFERENCES/SETTINGS/DEVS.NIN", EthernetSettings);
  auto test = [&](ChildProcess* child, const std::string& dump, bool longWait) {
    EXPECT_TRUE(child->started());
    const std::string window = ProbeWindow();
    const std::string report = DumpAfter(dump, "");
    guitest::ClickAt(window, 30 + 142, 358 + 12);  // "Test  Game Communications"
    if (longWait) {
      std::this_thread::sleep_for(std::chrono::seconds(2));
      guitest::CoverAndUncover(window, 100, 460, 380, 25);
      EXPECT_TRUE(ShowsLabel(window, DoneLabel, 3)) << "the window does not paint during the echo wait";
      EXPECT_EQ(Dump(dump), report) << "the wait ended early";
    }
    const std::string shown = DumpAfter(dump, report, 15);
    guitest::SendCloseRequest(window);
    EXPECT_EQ(Finish(child), 0);
    return std::make_pair(report, shown);
  };
  auto onBoth = [&](bool longWait) {  // the Linux program first, then the Windows one
    const auto onLinux = test(StartLinux(LINKPROBE_PATH, {}, {LinuxDump()}), "linux.txt", longWait);
    return std::make_pair(onLinux, test(StartWine("linkprobe.exe", {}, {wineDump}), "wine.txt", longWait));
  };
  ChildProcess* const echo = StartWine(BuildFile("gameecho/gameecho.exe").string(), {});
  ASSERT_TRUE(echo->started());
  std::this_thread::sleep_for(std::chrono::seconds(2));  // listening
  const auto [linuxAnswered, wineAnswered] = onBoth(false);
  EXPECT_EQ(wineAnswered.second, wineAnswered.first + "Ethernet game communication seems to be working\n");
  EXPECT_EQ(wineAnswered.second, linuxAnswered.second);
  kill(static_cast<pid_t>(echo->Id()), SIGKILL);
  Finish(echo);

  // A game computer that takes the connection and never answers.
  std::unique_ptr<ScriptedGameComputer> silent;
  ASSERT_TRUE(Eventually([&] {
    return (silent = std::make_unique<ScriptedGameComputer>(std::chrono::hours(1)))->listening();
  })) << "the game link's port stays taken after gameecho.exe ended";
  const auto [linuxFailed, wineFailed] = onBoth(true);
  EXPECT_EQ(wineFailed.second,
            wineFailed.first + "FAILURE to echo from game machine\nIS the game menu really running?\n");
  EXPECT_EQ(wineFailed.second, linuxFailed.second);
}

// No window: the amplifier check's result as the exit code, and its text in ampstatus.txt with the
// platform's line ends; the 32-bit build as well, which runs as a WOW64 process on 64-bit Windows.
TEST_F(WineSuite, StartupTestAnswersWithItsExitCodeAndStatusFile) {
  const fs::path status = root / "BIN" / "ampstatus.txt";
  const int linuxCode = Finish(StartLinux(LINKPROBE_PATH, {"STARTUPTEST"}));
  const std::string linuxText = ReadWholeFile(status.string());
  EXPECT_EQ(linuxCode, 1) << "C2+ configured and no J&J device";
  EXPECT_NE(linuxText.find("Unable to locate J&J device\n"), std::string::npos) << linuxText;
  for (const WindowsBuild& build : Builds()) {
    SCOPED_TRACE(build.arch);
    Unpack(build);
    fs::remove(status);
    EXPECT_EQ(Finish(StartWine("linkprobe.exe", {"STARTUPTEST"})), linuxCode);
    EXPECT_EQ(ReadWholeFile(status.string()), WithCrLf(linuxText));
  }
}

// REPORT with no game computer and no J&J device: both bits; the Windows program's text, in
// linkprobe-report.txt and on its redirected standard output, is the Linux program's standard output
// below the title line (whose date the two systems' ctime writes differently).
TEST_F(WineSuite, ReportAnswersWithBothBitsAndTheLinuxTextInItsFile) {
  Write("PREFERENCES/SETTINGS/DEVS.NIN", EthernetSettings);
  EXPECT_EQ(Finish(StartLinux(LINKPROBE_PATH, {"REPORT"}, {}, (root / "linux.txt").string()), 30), 3);
  EXPECT_EQ(Finish(StartWine("linkprobe.exe", {"REPORT"}, {}, (root / "wine.txt").string()), 30), 3);
  const std::string linuxText = Dump("linux.txt");
  EXPECT_NE(linuxText.find("--- Test Configured Amplifier ---\n"), std::string::npos) << linuxText;
  const std::string wineFile = Dump("BIN/linkprobe-report.txt");
  EXPECT_EQ(AfterFirstLine(wineFile), WithCrLf(AfterFirstLine(linuxText)));
  EXPECT_EQ(Dump("wine.txt"), wineFile);
}

// --- toolboard ------------------------------------------------------------------------------------

void Click(const std::string& window, Point at) { guitest::ClickAt(window, at.x, at.y); }

class ToolboardOnWine : public WineSuite {
 protected:
  void SetUp() override {
    WineSuite::SetUp();
    InstallFixture("both32.exe", (root / "Games" / "Orb.exe").string(), ProgramDate);
  }
  std::string StartMenu(ChildProcess* child) {
    EXPECT_TRUE(child->started());
    return DrawnWindow("^Tavik Tech Support Menu", MenuDoneLabel);
  }
};

// The platform report of both builds (the 32-bit one on 64-bit Windows too), the rest of it as on
// Linux, and the close box.
TEST_F(ToolboardOnWine, ReportsThePlatformAndTheSuiteAsLinuxDoes) {
  ChildProcess* const onLinux = StartLinux(TOOLBOARD_PATH, {}, {LinuxDump()});
  const std::string linuxWindow = StartMenu(onLinux);
  const std::string linuxReport = DumpAfter("linux.txt", "");
  const guitest::Picture linuxView = guitest::CaptureWindow(linuxWindow);
  guitest::SendCloseRequest(linuxWindow);
  EXPECT_EQ(Finish(onLinux), 0);
  EXPECT_NE(linuxReport.find(std::string("Orb (gamedll): PB=2.0    SB=beta  ") + ProgramDateLine), std::string::npos)
      << linuxReport;

  for (const WindowsBuild& build : Builds()) {
    SCOPED_TRACE(build.arch);
    Unpack(build);
    fs::remove(root / "wine.txt");
    ChildProcess* const onWine = StartWine("toolboard.exe", {}, {wineDump});
    const std::string window = StartMenu(onWine);
    const std::string report = DumpAfter("wine.txt", "");
    // Windows 10 as the program's manifest lets Wine report it (without it: "112 (Windows 8)").
    EXPECT_EQ(report.substr(0, report.find('\n') + 1), "Platform: 110 (Windows 10) 64-bit OS\n");
    EXPECT_EQ(AfterFirstLine(report), AfterFirstLine(linuxReport));
    EXPECT_EQ(Xdotool("getwindowname " + window), "Tavik Tech Support Menu 2.3 Therapist\n");
    if (build.arch == "win64") SavePicture("toolboard.png", linuxView, guitest::CaptureWindow(window));
    guitest::SendCloseRequest(window);
    EXPECT_EQ(Finish(onWine), 0);
  }
}

// "Run Communications Test Tool" waits for linkprobe.exe (a stand-in that takes four seconds): the menu
// keeps painting, takes clicks again once it ended, and none meanwhile (Wine drops them; Windows queues).
TEST_F(ToolboardOnWine, StartedProgramRunsToItsEndWhileTheMenuKeepsPainting) {
  fs::copy_file(BuildFile("tests/tavik_recording_helper.exe"), root / "BIN" / "linkprobe.exe",
                fs::copy_options::overwrite_existing);
  ChildProcess* const child = StartWine(
      "toolboard.exe", {}, {wineDump, "TAVIK_HELPER_SLEEP=4000", "TAVIK_HELPER_RECORD=C:\\Tavik\\started.txt"});
  const std::string window = StartMenu(child);
  const std::string first = DumpAfter("wine.txt", "");
  Click(window, RunTestTool);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Click(window, ReportSoftware);
  guitest::CoverAndUncover(window, 100, 475, 380, 25);
  EXPECT_TRUE(ShowsLabel(window, MenuDoneLabel, 2)) << "the menu does not paint while it waits";
  EXPECT_EQ(Dump("wine.txt"), first);
  EXPECT_FALSE(fs::exists(root / "started.txt")) << "the stand-in ended early";
  ASSERT_TRUE(Eventually([&] { return fs::exists(root / "started.txt"); }));
  EXPECT_EQ(Dump("started.txt"), "linkprobe.exe\r\n");
  Click(window, ReportSoftware);
  const std::string software = DumpAfter("wine.txt", first);
  EXPECT_EQ(software.rfind("Navro not found - must be game\n", 0), 0u) << software;
  Click(window, DoneExit);
  EXPECT_EQ(Finish(child), 0);
}

// Puts Wine's own netsh back in the prefix, and in charge, however the test ends (a copy that throws,
// an assertion that returns early): the prefix serves the tests that follow.
struct NetshRestore {
  fs::path netsh, saved;
  std::string overrides;
  std::vector<std::string> wineEnv;
  ~NetshRestore() {
    RunWineQuietly({Wine, "reg", "delete", overrides, "/v", "netsh.exe", "/f"}, wineEnv);
    std::error_code ignored;
    if (!fs::exists(saved, ignored)) return;
    fs::remove(netsh, ignored);
    fs::rename(saved, netsh, ignored);
  }
};

// A group number above 254 (with no adapter picked, as Wine offers none) is refused with the error beep
// and nothing is run: a stand-in in place of the system's netsh would note any start.
TEST_F(ToolboardOnWine, IpSetupDialogBeepsAtABadGroupNumberAndRunsNothing) {
  const fs::path netsh = prefix / "drive_c" / "windows" / "system32" / "netsh.exe";
  const std::string overrides = "HKCU\\Software\\Wine\\DllOverrides";  // the stand-in, not Wine's own netsh
  const NetshRestore restore{netsh, netsh.string() + ".tavik-saved", overrides, WineEnvironment({})};
  fs::rename(netsh, restore.saved);
  fs::copy_file(BuildFile("tests/tavik_recording_helper.exe"), netsh);
  const std::vector<std::string>& wineEnv = restore.wineEnv;
  EXPECT_EQ(RunWineQuietly({Wine, "reg", "add", overrides, "/v", "netsh.exe", "/d", "native", "/f"}, wineEnv), 0);
  ChildProcess* const child = StartWine("toolboard.exe", {}, {"TAVIK_HELPER_RECORD=C:\\Tavik\\netsh.txt"});
  const std::string menu = StartMenu(child);
  Click(menu, TryIpSetup);
  const std::string dialog = guitest::FindVisibleWindow("^IP setup$");
  ASSERT_FALSE(dialog.empty());
  Click(dialog, DialogGroup);
  Xdotool("key --window " + dialog + " ctrl+a");
  Xdotool("type --window " + dialog + " 300");
  BellWatch bell;
  Click(dialog, DialogTry);
  EXPECT_TRUE(bell.Rang(3)) << "no error beep";
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_FALSE(fs::exists(root / "netsh.txt")) << Dump("netsh.txt");
  Click(dialog, DialogDone);
  const std::string again = guitest::FindVisibleWindow("^Tavik Tech Support Menu");
  ASSERT_FALSE(again.empty());
  Click(again, DoneExit);
  EXPECT_EQ(Finish(child), 0);
}

// --- what the programs load and start -------------------------------------------------------------

const char* const InstalledPrograms[] = {"linkprobe.exe", "toolboard.exe", "linkconsole.exe", "linkdump.exe",
                                         "linkping.exe"};

// The libraries that a program of the unpacked zip imports directly, in upper case, as the objdump of
// its processor reads its import table (the delay-loaded ones have no entry there).
std::set<std::string> DirectImports(const WindowsBuild& build, const fs::path& program) {
  const std::string objdump = build.arch == "win64" ? OBJDUMP_WIN64 : OBJDUMP_WIN32;
  std::set<std::string> imports;
  std::istringstream listing(CommandOutput(objdump + " -p '" + program.string() + "'"));
  const std::string marker = "DLL Name: ";
  for (std::string text; std::getline(listing, text);) {
    const std::size_t at = text.find(marker);
    if (at == std::string::npos) continue;
    text = text.substr(at + marker.size());
    text.erase(text.find_last_not_of("\r\n ") + 1);
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    imports.insert(text);
  }
  return imports;
}

// Every program of both zips imports directly only what Windows takes from its known DLLs (or, the common
// controls, through the manifest), which a library beside it cannot replace; VERSION, IPHLPAPI and WINMM
// are delay-loaded.
TEST_F(WineSuite, ProgramsImportOnlyKnownLibrariesDirectly) {
  const std::set<std::string> known{"ADVAPI32.DLL", "COMDLG32.DLL", "GDI32.DLL",    "IMM32.DLL",   "KERNEL32.DLL",
                                    "MSVCRT.DLL",   "OLE32.DLL",    "OLEAUT32.DLL", "RPCRT4.DLL",  "SHELL32.DLL",
                                    "SHLWAPI.DLL",  "USER32.DLL",   "WS2_32.DLL",   "COMCTL32.DLL"};
  for (const WindowsBuild& build : Builds()) {
    Unpack(build);
    EXPECT_NE(Dump("tavik-service-tools-NOTICE.txt").find("the FLTK project"), std::string::npos)
        << "the zip names what the windowed programs are built from";
    for (const char* program : InstalledPrograms) {
      SCOPED_TRACE(build.arch + " " + program);
      const std::set<std::string> imports = DirectImports(build, root / "BIN" / program);
      EXPECT_EQ(imports.count("KERNEL32.DLL"), 1u) << "the import table was not read";
      for (const std::string& library : imports) EXPECT_EQ(known.count(library), 1u) << library;
    }
  }
}

// A library named like one that linkprobe loads on first use (the reward sound, the address dialog's
// adapter list), planted in BIN and preferred by Wine as Windows prefers any but its known ones, is never
// loaded. The import check stands for the rest: Wine's own user32 and toolboard's window load VERSION.dll
// and IPHLPAPI.DLL by name, beside the program first, which Windows' own do not.
TEST_F(WineSuite, LibrariesPlantedBesideTheProgramsAreNeverLoaded) {
  dllOverrides += ";iphlpapi,winmm=n,b";
  const std::vector<std::string> env{"TAVIK_HELPER_RECORD=C:\\Tavik\\planted.txt", wineDump};
  for (const WindowsBuild& build : Builds()) {
    SCOPED_TRACE(build.arch);
    Unpack(build);
    for (const char* name : {"iphlpapi.dll", "winmm.dll"})
      fs::copy_file(build.arch == "win64" ? PLANTED_LIBRARY_WIN64 : PLANTED_LIBRARY_WIN32, root / "BIN" / name,
                    fs::copy_options::overwrite_existing);
    ChildProcess* const probe = StartWine("linkprobe.exe", {}, env);
    const std::string window = ProbeWindow();
    if (!window.empty()) {
      DumpAfter("wine.txt", "");
      guitest::ClickAt(window, 30 + 142, 268 + 12);   // "Sound Test (this computer)"
      guitest::ClickAt(window, 340 + 127, 380 + 15);  // "Try setting IP address"
      const std::string dialog = guitest::FindVisibleWindow("^IP setup$");
      EXPECT_FALSE(dialog.empty()) << "no address dialog";
      if (!dialog.empty()) Click(dialog, DialogDone);
      const std::string again = guitest::FindVisibleWindow("^Tavik Comm Check");
      if (!again.empty()) guitest::SendCloseRequest(again);
    }
    EXPECT_EQ(Finish(probe), 0);
    EXPECT_FALSE(fs::exists(root / "planted.txt")) << Dump("planted.txt");
    fs::remove(root / "planted.txt");
  }
}

// --- the installer --------------------------------------------------------------------------------

const char* const Uninstaller = "uninstall-service-tools.exe";

// Where a build's installer keeps its uninstaller, out of the users' reach: the Program Files folder of
// its kind, as a Windows path.
std::string UninstallerPath(const WindowsBuild& build) {
  return std::string(build.arch == "win64" ? "C:\\Program Files" : "C:\\Program Files (x86)") +
         "\\Tavik Service Tools\\" + Uninstaller;
}

class InstallerOnWine : public WineSuite {
 protected:
  fs::path LinuxPath(const std::string& windowsPath) const {
    std::string relative = windowsPath.substr(3);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return prefix / "drive_c" / relative;
  }
  void RemovePrograms(const fs::path& bin) {
    for (const char* program : InstalledPrograms) fs::remove(bin / program);
  }
  int Install(const WindowsBuild& build) { return Finish(StartWine(build.Package("-setup.exe").string(), {"/S"}), 60); }
};

// Wine keeps of an access list only what maps onto the Unix mode: with SYSTEM, the administrators and
// the users named, and not Everyone, the "other" bits stay clear.
bool ClosedToOthers(const fs::path& path) {
  return (fs::status(path).permissions() & fs::perms::others_all) == fs::perms::none;
}

// Each build's installer, silently, over a suite folder that a user made: the programs into BIN with menu
// entries and access lists, the uninstaller outside it (an earlier one in BIN gone), the installed
// linkprobe.exe's start-up test, and an uninstall that leaves only what others put there.
TEST_F(InstallerOnWine, InstallsSilentlyAndUninstallsCleanly) {
  const fs::path menu =
      prefix / "drive_c" / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "Tavik Service Tools";
  for (const WindowsBuild& build : Builds()) {
    SCOPED_TRACE(build.arch);
    const fs::path uninstaller = LinuxPath(UninstallerPath(build));
    RemovePrograms(root / "BIN");
    Write(std::string("BIN/") + Uninstaller, "an earlier version's uninstaller");
    EXPECT_EQ(Install(build), 0);
    // The test command signs the packages with a certificate of its own (TAVIK_SIGN_CAFILE): what the
    // installer installs is signed, the uninstaller it writes too.
    const std::string signer = Getenv("TAVIK_SIGN_CAFILE");
    std::vector<fs::path> installed{uninstaller};
    for (const char* program : InstalledPrograms) {
      installed.push_back(root / "BIN" / program);
      EXPECT_TRUE(ClosedToOthers(installed.back())) << program << " is open to every user";
    }
    for (const fs::path& file : installed) {
      EXPECT_TRUE(fs::exists(file)) << file;
      if (!signer.empty()) {
        const std::string verify = "osslsigncode verify -CAfile '" + signer + "' -in '" + file.string() + "'";
        EXPECT_TRUE(RunQuietly(verify)) << file << " is not signed";
      }
    }
    EXPECT_NE(ReadWholeFile((uninstaller.parent_path() / "NOTICE.txt").string()).find("the FLTK project"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(root / "BIN" / Uninstaller)) << "an uninstaller is left where users write";
    EXPECT_TRUE(ClosedToOthers(root)) << "the suite folder that a user made is not taken over";
    EXPECT_TRUE(ClosedToOthers(root / "BIN"));
    EXPECT_TRUE(fs::exists(menu / "Tavik Comm Check.lnk"));
    EXPECT_TRUE(fs::exists(menu / "Tavik Tech Support Menu.lnk"));

    EXPECT_EQ(Finish(StartWine("linkprobe.exe", {"STARTUPTEST"})), 1) << "C2+ configured and no J&J device";
    EXPECT_TRUE(fs::exists(root / "BIN" / "ampstatus.txt"));

    // The uninstaller runs on from a copy of itself: it is done once it has removed itself.
    EXPECT_EQ(Finish(StartWine(UninstallerPath(build), {"/S"}), 60), 0);
    EXPECT_TRUE(Eventually([&] { return !fs::exists(uninstaller.parent_path()); }, 30));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(root / "BIN")) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Tconfig", "Tconfig.", "ampstatus.txt"}));
    EXPECT_FALSE(fs::exists(menu));
    fs::remove(root / "BIN" / "ampstatus.txt");
  }
}

// A suite folder or BIN that is a link to another folder (which a user may make before the install) is
// refused: nothing is installed, there or anywhere.
TEST_F(InstallerOnWine, RefusesASuiteFolderThatIsALink) {
  const WindowsBuild build = Builds()[0];
  const fs::path elsewhere = prefix / "drive_c" / "elsewhere";
  for (const fs::path& link : {root, root / "BIN"}) {
    SCOPED_TRACE(link);
    RemovePrograms(root / "BIN");
    fs::rename(link, elsewhere);
    fs::create_directory_symlink(elsewhere, link);
    EXPECT_EQ(Install(build), 2) << "NSIS's code for an install that its script ended";
    const fs::path bin = link == root ? elsewhere / "BIN" : elsewhere;
    for (const char* program : InstalledPrograms) EXPECT_FALSE(fs::exists(bin / program)) << program;
    EXPECT_FALSE(fs::exists(LinuxPath(UninstallerPath(build))));
    fs::remove(link);
    fs::rename(elsewhere, link);
  }
}

// What the installer's access lists mean, as the system's access check reads them (Wine's follows
// Windows' rules there): a user may list the folders, add to them, and read and run the programs, but
// not remove, rename or take over any of them; the administrators may do everything.
TEST_F(InstallerOnWine, AccessListsLetUsersAddFilesButReplaceNothing) {
  const std::string script = ReadWholeFile(INSTALLER_SCRIPT);
  auto defined = [&](const std::string& name) {
    const std::string head = "!define " + name + " \"";
    const size_t at = script.find(head);
    if (at == std::string::npos) return std::string();  // no access list: everyone may do everything
    const size_t begin = at + head.size();
    return script.substr(begin, script.find('"', begin) - begin);
  };
  const std::string helper = BuildFile("tests/tavik_access_check.exe").string();
  ASSERT_EQ(Finish(StartWine(helper, {"C:\\Tavik\\access.txt", defined("SUITE_ACCESS"), defined("BIN_ACCESS"),
                                      defined("PROGRAM_ACCESS")}),
                   30),
            0);
  std::istringstream answers(Dump("access.txt"));
  std::string object, who, right, granted, userRights;
  while (answers >> object >> who >> right >> granted) {
    if (who == "user") {
      userRights += object + " " + right + " " + granted + "\n";
    } else {
      EXPECT_EQ(granted, "1") << "the administrators may not " << right << " " << object;
    }
  }
  EXPECT_EQ(userRights,
            "suite list 1\nsuite add-file 1\nsuite add-folder 1\nsuite delete-child 0\nsuite delete 0\n"
            "suite change-access 0\nsuite take-owner 0\n"
            "bin list 1\nbin add-file 1\nbin add-folder 0\nbin delete-child 0\nbin delete 0\n"
            "bin change-access 0\nbin take-owner 0\n"
            "program read-run 1\nprogram write 0\nprogram delete 0\nprogram change-access 0\n");
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new guitest::XServer);
  ::testing::AddGlobalTestEnvironment(new WineDesktop);
  return RUN_ALL_TESTS();
}
