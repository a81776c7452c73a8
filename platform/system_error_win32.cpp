// On Windows the system's own numbers are already the ones the tools report.
#include "platform/system_error.h"

#include <windows.h>

int SystemErrorNumber(ErrorNumbering, int osError) { return osError; }

std::string SystemErrorText(int osError) {
  char buffer[512] = {0};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(osError), 0, buffer, sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) buffer[--n] = '\0';
  return buffer;
}

int LastSystemError() { return static_cast<int>(GetLastError()); }
