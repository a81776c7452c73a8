// A non-blocking open, so that a FIFO (which would wait for a writer) returns at once, then fstat on the
// open descriptor, so that what is checked is what is read.
#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* OpenRegularFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  std::FILE* file = regular ? fdopen(fd, "r") : nullptr;
  if (file == nullptr) close(fd);
  return file;
}
