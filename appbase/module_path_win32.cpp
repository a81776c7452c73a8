// GetModuleFileNameA for the program's own module.
#include "appbase/module_path.h"

#include <windows.h>

size_t GetModulePath(char* path, size_t size) {
  if (size == 0) return 0;
  DWORD length = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(size));
  if (length >= size) length = static_cast<DWORD>(size - 1);
  path[length] = '\0';
  return length;
}
