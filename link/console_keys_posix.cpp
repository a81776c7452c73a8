// Single key presses on a POSIX console: a terminal is switched to non-canonical mode without echo.
#include "console_keys.h"

#include <csignal>
#include <cstdlib>
#include <initializer_list>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

termios savedMode;
bool terminalChanged = false;
bool inputEnded = false;

// A console stopped by a signal gets its echo back before it ends.
void RestoreAndEnd(int signalNumber) {
  tcsetattr(STDIN_FILENO, TCSANOW, &savedMode);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

}  // namespace

void ConsoleKeysEnd() {
  if (terminalChanged) tcsetattr(STDIN_FILENO, TCSANOW, &savedMode);
  terminalChanged = false;
}

void ConsoleKeysBegin() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &savedMode) != 0) return;
  termios mode = savedMode;
  mode.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &mode) != 0) return;
  terminalChanged = true;
  std::atexit(ConsoleKeysEnd);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) std::signal(signalNumber, RestoreAndEnd);
}

int ConsoleKeyWait(int milliseconds) {
  if (inputEnded) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return -1;
  }
  pollfd in{STDIN_FILENO, POLLIN, 0};
  if (poll(&in, 1, milliseconds) <= 0) return -1;
  unsigned char key;
  ssize_t n = read(STDIN_FILENO, &key, 1);
  if (n == 1) return key;
  if (n == 0) inputEnded = true;
  return -1;
}
