// Start-up time of linkprobe on the demo installation against a bare toolkit window: from the process
// start to the map of its window on a private X server; the median of several alternating runs.
#include <X11/Xlib.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "x_session.h"

namespace {

using probetest::PrivateXServer;
using Clock = std::chrono::steady_clock;
constexpr int EndWaitMs = 10000;

// Waits for the next MapNotify under the root window; false after ten seconds without one.
bool WaitForMap(Display* display) {
  auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify) return true;
    }
    pollfd ready{ConnectionNumber(display), POLLIN, 0};
    poll(&ready, 1, 100);
  }
  return false;
}

// Milliseconds from the start of `args` to its window being mapped; negative when it never was.
double TimeToWindow(Display* display, const std::vector<std::string>& args, const std::vector<std::string>& env) {
  auto start = Clock::now();
  ChildStart exactly{env};
  exactly.environmentOnly = true;
  exactly.output = ChildOutput::Shown;
  ChildProcess program(args[0], {args.begin() + 1, args.end()}, exactly);
  if (!program.started()) return -1;
  bool mapped = WaitForMap(display);
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  program.Interrupt();
  program.Wait(EndWaitMs);
  XSync(display, True);  // forget the unmap and destroy events of this run
  return mapped ? ms : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
  PrivateXServer server;
  Display* display = server.Display().empty() ? nullptr : XOpenDisplay(server.Display().c_str());
  if (display == nullptr) {
    std::fprintf(stderr, "no private X server\n");
    return 1;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, True);
  const std::vector<std::string> env = {"DISPLAY=" + server.Display(), "TAVIK_ROOT=" DEMO_ROOT, "PATH=/usr/bin:/bin"};
  std::vector<double> probe, bare;
  for (int i = 0; i < runs; ++i) {
    bare.push_back(TimeToWindow(display, {BARE_WINDOW_PATH}, env));
    probe.push_back(TimeToWindow(display, {LINKPROBE_PATH, "STARTUPDIR=C:\\Tavik\\BIN\\"}, env));
    if (bare.back() < 0 || probe.back() < 0) {
      std::fprintf(stderr, "a window did not appear\n");
      return 1;
    }
  }
  double probeMedian = Median(probe), bareMedian = Median(bare);
  std::printf("runs: %d\nlinkprobe on the demo installation: %.1f ms (median)\n", runs, probeMedian);
  std::printf("bare toolkit window: %.1f ms (median)\nratio: %.2f\n", bareMedian, probeMedian / bareMedian);
  XCloseDisplay(display);
  return 0;
}
