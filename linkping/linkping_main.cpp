// linkping [-c COUNT] [-i SECONDS] [-W SECONDS] [--port T] [--json] [ADDRESS | COMn]: a continuous echo
// test of the game link; see ping_session.h.
#include <cstdio>
#include <string>
#include <vector>

#include "console_interrupt.h"
#include "platform/library_search.h"
#include "ping_session.h"

int main(int argc, char** argv) {
  LimitLibrarySearchToSystemFolder();  // it plays the reward sound from a library loaded on first use
  WatchConsoleInterrupt();
  const std::vector<std::string> args(argv + 1, argv + argc);
  return RunLinkPing(args, stdout, stderr, ConsoleInterrupted);
}
