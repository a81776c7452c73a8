// Windows' rename refuses an existing target; MoveFileEx replaces it.
#include "file_replace.h"

#include <windows.h>

bool ReplaceFileWith(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
