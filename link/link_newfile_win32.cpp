// A new file through the C runtime's exclusive open: the system's C runtime has no exclusive fopen mode.
#include "link_newfile.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

std::FILE* LinkCreateNewFile(const char* name) {
  int fd = _open(name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
}
