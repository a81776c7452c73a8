// Program files are mapped read-only and their version information parsed from the bytes (PE or ELF).
#include "file_version_source.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

bool ReadFileVersionInfo(const std::string& path, FileVersionInfo& info) {
  // Non-blocking, so that a FIFO given as a program file cannot hang the reader.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
    close(fd);
    return false;
  }
  const std::size_t size = static_cast<std::size_t>(st.st_size);
  void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (map == MAP_FAILED) return false;
  bool found = ReadVersionFromImage(static_cast<const std::uint8_t*>(map), size, info);
  munmap(map, size);
  return found;
}
