// Program files are mapped read-only and their version information parsed from the bytes (PE or ELF).
#include "file_version_source.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include "platform/regular_file.h"

bool ReadFileVersionInfo(const std::string& path, FileVersionInfo& info) {
  std::FILE* file = OpenRegularFile(path);
  if (file == nullptr) return false;
  struct stat st;
  void* map = MAP_FAILED;
  if (fstat(fileno(file), &st) == 0 && st.st_size > 0)
    map = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fileno(file), 0);
  std::fclose(file);
  if (map == MAP_FAILED) return false;
  const std::size_t size = static_cast<std::size_t>(st.st_size);
  bool found = ReadVersionFromImage(static_cast<const std::uint8_t*>(map), size, info);
  munmap(map, size);
  return found;
}
