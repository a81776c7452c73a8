// The interrupt watch on POSIX systems: a signal handler that only notes the signal.
#include "console_interrupt.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t interrupted = 0;

void Note(int) { interrupted = 1; }

}  // namespace

void WatchConsoleInterrupt() {
  struct sigaction action {};
  action.sa_handler = Note;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool ConsoleInterrupted() { return interrupted != 0; }
