// Driving a real program under the private X server (x_session.h) with xdotool: the server kept for
// the whole test program, windows found by name, clicks in a window's own coordinates, the close
// box's request, what a window shows (black text, whether it repaints an area uncovered), the
// environment a program under test gets, and a fixture running one program on a scratch suite tree.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "eventually.h"
#include "read_file.h"
#include "scratch_tree.h"
#include "shell_command.h"
#include "x_session.h"

namespace guitest {

inline std::string displayName;  // the private X server of this test program

// Starts the private X server for the whole test program.
class XServer : public ::testing::Environment {
 public:
  void SetUp() override {
    server_ = std::make_unique<probetest::PrivateXServer>();
    displayName = server_->Display();
    ASSERT_FALSE(displayName.empty()) << "Xvfb did not start";
  }
  void TearDown() override { server_.reset(); }

 private:
  std::unique_ptr<probetest::PrivateXServer> server_;
};

// Starts a program as a user at the private display does: with exactly the environment `env`, in `dir`,
// its output shown beside the test's report. The child is killed when the object goes, if still running.
inline std::unique_ptr<ChildProcess> StartProgram(const std::string& program, const std::vector<std::string>& args,
                                                  const std::vector<std::string>& env, const std::string& dir = "") {
  ChildStart start{env};
  start.environmentOnly = true;
  start.directory = dir;
  start.output = ChildOutput::Shown;
  return std::make_unique<ChildProcess>(program, args, start);
}

// Runs an xdotool command on the private display and returns what it printed.
inline std::string Xdotool(const std::string& arguments) {
  std::string command = "DISPLAY=" + displayName + " timeout 20 xdotool " + arguments + " 2>/dev/null";
  return CommandOutput(command);
}

// The first visible window whose name matches `pattern`, empty when none shows; `wait` gives one time to appear.
inline std::string FindVisibleWindow(const std::string& pattern, bool wait = true) {
  std::string found =
      Xdotool(std::string("search ") + (wait ? "--sync " : "") + "--onlyvisible --name '" + pattern + "'");
  return found.substr(0, found.find('\n'));
}
inline bool IsVisible(const std::string& pattern) { return !FindVisibleWindow(pattern, false).empty(); }

// Clicks at a position inside `window`, as given in the window's own coordinates.
inline void ClickAt(const std::string& window, int x, int y) {
  Xdotool("mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

// What a window's close box does: the window manager's delete request.
inline void SendCloseRequest(const std::string& window) {
  Display* display = XOpenDisplay(displayName.c_str());
  ASSERT_NE(display, nullptr);
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = std::stoul(window);
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
  XCloseDisplay(display);
}

// Whether black (the toolkit's colour of active text) shows inside the given area of `window`, in the
// window's own coordinates; an inactive label is drawn in a lighter grey. Looks again for up to `seconds`.
inline bool ShowsBlack(const std::string& window, int x, int y, int w, int h, double seconds = 0) {
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) return false;
  bool black = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (bool first = true; first || (!black && std::chrono::steady_clock::now() < deadline); first = false) {
    if (XImage* image = XGetImage(display, std::stoul(window), x, y, w, h, AllPlanes, ZPixmap)) {
      for (int py = 0; py < h && !black; ++py) {
        for (int px = 0; px < w && !black; ++px) black = XGetPixel(image, px, py) == 0;
      }
      XDestroyImage(image);
    }
    if (!black) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  XCloseDisplay(display);
  return black;
}

// Lays a plain window of another program over an area of `window` and takes it away again, as a
// window dragged across it would: the area is the program's to draw again.
inline void CoverAndUncover(const std::string& window, int x, int y, int w, int h) {
  Display* display = XOpenDisplay(displayName.c_str());
  ASSERT_NE(display, nullptr);
  Window child = 0;
  int rootX = 0, rootY = 0;
  XTranslateCoordinates(display, std::stoul(window), DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
  XSetWindowAttributes attributes = {};
  attributes.override_redirect = True;
  attributes.background_pixel = WhitePixel(display, DefaultScreen(display));
  Window cover = XCreateWindow(display, DefaultRootWindow(display), rootX, rootY, w, h, 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(display, cover);
  XSync(display, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  XDestroyWindow(display, cover);
  XSync(display, False);
  XCloseDisplay(display);
}

// The environment a program under test gets: `extra`, the private display, the sanitizers' settings
// and the suppressions of the toolkit's own leaks.
inline std::vector<std::string> ProgramEnvironment(std::vector<std::string> extra, const char* leakSuppressions) {
  extra.push_back("DISPLAY=" + displayName);
  extra.push_back("PATH=/usr/bin:/bin");
  for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
    if (const char* value = std::getenv(keep)) extra.push_back(std::string(keep) + "=" + value);
  }
  extra.push_back(std::string("LSAN_OPTIONS=print_suppressions=0:suppressions=") + leakSuppressions);
  return extra;
}

// One program run on a scratch suite tree as a user starts it: its window, found by its title, and what
// it shows, read from the file TAVIK_PANE_DUMP names.
class ProgramRun : public ::testing::Test {
 protected:
  static constexpr int EndWaitMs = 10000;  // a program asked to end has ended by then
  ScratchTree tree;
  std::string dump = tree.Path("pane.txt");
  std::unique_ptr<ChildProcess> program;
  std::string window;

  void TearDown() override {
    if (program) program->Wait(500);
  }

  // `path` with STARTUPDIR=`startupDir`, in `dir`, given the tree's folders and `extra`.
  void Launch(const std::string& path, const std::string& startupDir, const std::string& dir,
              std::vector<std::string> extra, const std::string& title) {
    extra.insert(extra.end(),
                 {"TAVIK_ROOT=" + tree.Path("tavik"), "TAVIK_SYSFS=" + tree.Path("sys"), "TAVIK_PANE_DUMP=" + dump});
    program = StartProgram(path, {"STARTUPDIR=" + startupDir}, ProgramEnvironment(extra, TOOLKIT_LEAKS_PATH), dir);
    ASSERT_TRUE(program->started());
    window = FindVisibleWindow(title);
    ASSERT_FALSE(window.empty()) << "no window " << title << " appeared";
  }
  // The toolkit gives a window shown again a new X window: whether one titled `title` shows.
  bool ShownAgain(const std::string& title) {
    const std::string old = window;
    return Eventually([&] { return !(window = FindVisibleWindow(title, false)).empty() && window != old; });
  }
  void LinkPort(int n, const std::string& device) { tree.Link("tavik/dosdevices/com" + std::to_string(n), device); }
  void Click(int x, int y) { ClickAt(window, x, y); }
  std::string Shown() const { return ReadWholeFile(dump); }
  bool ShownChangesFrom(const std::string& old) {
    return Eventually([&] { return Shown() != old; });
  }
  // Waits until the dump differs from `old`, and returns it.
  std::string ShownAfter(const std::string& old) {
    ShownChangesFrom(old);
    return Shown();
  }
  void ExpectEnds() { EXPECT_EQ(program->Wait(EndWaitMs), 0); }
  void CloseAndExpectEnd() {
    SendCloseRequest(window);
    ExpectEnds();
  }
};

// The main of a test program under the private X server.
inline int RunUnderXServer(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new XServer);
  return RUN_ALL_TESTS();
}

}  // namespace guitest
