// File status through the C runtime's _access, _stat64 and _ctime64.
#include "sysutil/file_status.h"

#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>

bool FileExists(const std::string& path) { return _access(path.c_str(), 0) == 0; }

bool FileModificationText(const std::string& path, std::string& text) {
  struct _stat64 st;
  if (_stat64(path.c_str(), &st) != 0) return false;
  const char* date = _ctime64(&st.st_mtime);
  if (!date) return false;
  text = date;
  return true;
}
