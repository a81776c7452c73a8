// File status through stat(2) and the local-time ctime text.
#include "sysutil/file_status.h"

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool FileModificationText(const std::string& path, std::string& text) {
  struct stat st;
  char buffer[64];
  if (stat(path.c_str(), &st) != 0 || !ctime_r(&st.st_mtime, buffer)) return false;
  text = buffer;
  return true;
}
