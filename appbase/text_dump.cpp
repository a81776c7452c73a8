// The dump is written whole: to a new file beside the target, then moved into place.
#include "appbase/text_dump.h"

#include <cstdlib>
#include <string>

#include "appbase/whole_file.h"

void DumpShownText(const char* text, size_t length) {
  const char* path = std::getenv("TAVIK_PANE_DUMP");
  if (path == nullptr || path[0] == '\0') return;
  WriteWholeFile(path, std::string(text, length), FileTextMode::Binary);
}
