// The interrupt watch on Windows: a console control handler, which the system runs on a thread of its
// own, notes Ctrl-C and Ctrl-Break and keeps the program running.
#include "console_interrupt.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI Note(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interrupted = true;
  return TRUE;
}

}  // namespace

void WatchConsoleInterrupt() { SetConsoleCtrlHandler(Note, TRUE); }

bool ConsoleInterrupted() { return interrupted; }
