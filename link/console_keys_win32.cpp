// Single key presses on a Windows console through the C runtime's console input (no echo).
#include "link/console_keys.h"

#include <conio.h>
#include <windows.h>

void ConsoleKeysBegin() {}

void ConsoleKeysEnd() {}

int ConsoleKeyWait(int milliseconds) {
  DWORD start = GetTickCount();
  while (!_kbhit()) {
    if (GetTickCount() - start >= static_cast<DWORD>(milliseconds)) return -1;
    Sleep(1);
  }
  return _getch();
}
