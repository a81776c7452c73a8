// rename(2) replaces the target atomically; O_EXCL refuses any name that exists, links included.
#include "file_replace.h"

#include <fcntl.h>
#include <unistd.h>

constexpr mode_t NewFileMode = 0666;  // less the umask, as fopen would make it

bool ReplaceFileWith(const char* from, const char* to) { return std::rename(from, to) == 0; }

std::FILE* CreateNewFile(const char* name, bool /* text and binary are one on POSIX */) {
  const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, NewFileMode);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "w");
  if (file == nullptr) close(fd);
  return file;
}
