// The dump goes to a temporary name beside the target and is then moved into place.
#include "appbase/text_dump.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "file_replace.h"

void DumpShownText(const char* text, size_t length) {
  const char* path = std::getenv("TAVIK_PANE_DUMP");
  if (path == nullptr || path[0] == '\0') return;
  std::string temporary = std::string(path) + ".tmp";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return;
  bool written = std::fwrite(text, 1, length, file) == length;
  written = std::fclose(file) == 0 && written;
  if (!written || !ReplaceFileWith(temporary.c_str(), path)) std::remove(temporary.c_str());
}
