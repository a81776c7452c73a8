// Windows' rename refuses an existing target; MoveFileEx replaces it. The C runtime's exclusive open
// refuses any name that exists.
#include "file_replace.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

bool ReplaceFileWith(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::FILE* CreateNewFile(const char* name, bool textMode) {
  const int fd = _open(name, _O_WRONLY | _O_CREAT | _O_EXCL | (textMode ? _O_TEXT : _O_BINARY), _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, textMode ? "w" : "wb");
  if (file == nullptr) _close(fd);
  return file;
}
