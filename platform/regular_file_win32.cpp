// The file is opened with the Win32 call and its handle asked what it is: a pipe or a character device
// (CON, COM1, a named pipe) is refused, a folder cannot be opened this way at all. Only then does the C
// runtime take the handle over, in text mode as fopen's "r" would give.
#include "platform/regular_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>

std::FILE* OpenRegularFile(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = GetFileType(handle) == FILE_TYPE_DISK
                     ? _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDONLY | _O_TEXT)
                     : -1;
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "r");
  if (file == nullptr) _close(fd);  // and the handle with it
  return file;
}
