// Single key presses on Windows: from a console as key events (never echoed), from a pipe or a file byte
// by byte, so that the console can also be driven by another program.
#include "console_keys.h"

#include <windows.h>

namespace {

enum class InputKind { Console, Pipe, File };

HANDLE input = INVALID_HANDLE_VALUE;
InputKind inputKind = InputKind::Console;
bool inputEnded = false;

InputKind KindOf(HANDLE handle) {
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) return InputKind::Console;
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

// A key pressed on the console within the time: a key-down event that carries a character. Every other
// event (key releases, mouse, focus) is taken from the queue too, so that it never hides the keys behind it.
int ConsoleKey(DWORD milliseconds) {
  if (WaitForSingleObject(input, milliseconds) != WAIT_OBJECT_0) return -1;
  INPUT_RECORD record;
  DWORD count = 0;
  if (!ReadConsoleInputA(input, &record, 1, &count) || count == 0) return -1;
  if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return -1;
  unsigned char key = static_cast<unsigned char>(record.Event.KeyEvent.uChar.AsciiChar);
  return key != 0 ? key : -1;
}

// A key within the time from the console, else a byte waiting in the pipe or the next one of the file.
int KeyWithin(DWORD milliseconds) {
  if (inputKind == InputKind::Console) return ConsoleKey(milliseconds);
  if (inputKind == InputKind::File) return ReadByte();
  DWORD waiting = 0;
  if (!PeekNamedPipe(input, nullptr, 0, nullptr, &waiting, nullptr)) {
    inputEnded = true;  // the writer has closed its end
    return -1;
  }
  return waiting > 0 ? ReadByte() : -1;
}

}  // namespace

void ConsoleKeysBegin() {
  input = GetStdHandle(STD_INPUT_HANDLE);
  inputEnded = input == nullptr || input == INVALID_HANDLE_VALUE;  // started without any input: no keys ever
  inputKind = inputEnded ? InputKind::File : KindOf(input);
}

void ConsoleKeysEnd() {}

int ConsoleKeyWait(int milliseconds) {
  const DWORD limit = milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0;
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD waited = GetTickCount() - start;
    int key = inputEnded ? -1 : KeyWithin(waited < limit ? limit - waited : 0);
    if (key >= 0) return key;
    if (GetTickCount() - start >= limit) return -1;
    Sleep(1);
  }
}
