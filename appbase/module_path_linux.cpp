// The running program is the target of /proc/self/exe.
#include "appbase/module_path.h"

#include <unistd.h>

size_t GetModulePath(char* path, size_t size) {
  if (size == 0) return 0;
  ssize_t length = readlink("/proc/self/exe", path, size - 1);
  if (length < 0) length = 0;
  path[length] = '\0';
  return static_cast<size_t>(length);
}
