// Single key presses on Windows: from a console through the C runtime's console input (no echo), from a
// pipe or a file byte by byte, so that the console can also be driven by another program.
#include "link/console_keys.h"

#include <conio.h>
#include <windows.h>

namespace {

enum class InputKind { Console, Pipe, File };

HANDLE input = INVALID_HANDLE_VALUE;
InputKind inputKind = InputKind::Console;
bool inputEnded = false;

InputKind KindOf(HANDLE handle) {
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode)) return InputKind::Console;
  return GetFileType(handle) == FILE_TYPE_PIPE ? InputKind::Pipe : InputKind::File;
}

// One byte of a pipe or file; the end of the input (or a broken pipe) ends the keys for good.
int ReadByte() {
  unsigned char key = 0;
  DWORD count = 0;
  if (!ReadFile(input, &key, 1, &count, nullptr) || count == 0) {
    inputEnded = true;
    return -1;
  }
  return key;
}

// A waiting key, else -1 at once.
int KeyNow() {
  if (inputKind == InputKind::Console) return _kbhit() ? _getch() : -1;
  if (inputKind == InputKind::File) return ReadByte();
  DWORD waiting = 0;
  if (!PeekNamedPipe(input, nullptr, 0, nullptr, &waiting, nullptr)) {
    inputEnded = true; // the writer has closed its end
    return -1;
  }
  return waiting > 0 ? ReadByte() : -1;
}

} // namespace

void ConsoleKeysBegin() {
  input = GetStdHandle(STD_INPUT_HANDLE);
  inputKind = KindOf(input);
}

void ConsoleKeysEnd() {}

int ConsoleKeyWait(int milliseconds) {
  DWORD start = GetTickCount();
  for (;;) {
    int key = inputEnded ? -1 : KeyNow();
    if (key >= 0) return key;
    if (GetTickCount() - start >= static_cast<DWORD>(milliseconds)) return -1;
    Sleep(1);
  }
}
