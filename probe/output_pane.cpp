// Fixed-size pane text with cutting at its limits, and the optional dump of each refresh.
#include "output_pane.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "file_replace.h"

OutputPane outputPane;

namespace {

// Writes the text to a temporary name beside `path` and moves it into place, so that a reader of
// `path` never sees a half-written text.
void DumpPaneText(const char* path, const char* text, size_t length) {
  std::string temporary = std::string(path) + ".tmp";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return;
  bool written = std::fwrite(text, 1, length, file) == length;
  written = std::fclose(file) == 0 && written;
  if (!written || !ReplaceFileWith(temporary.c_str(), path)) std::remove(temporary.c_str());
}

}  // namespace

void OutputPane::Clear() {
  length_ = 0;
  text_[0] = '\0';
}

void OutputPane::Append(const char* text) {
  if (text == nullptr) {
    Clear();
    return;
  }
  size_t room = Capacity - length_;
  size_t count = strnlen(text, room);
  std::memcpy(text_ + length_, text, count);
  length_ += count;
  text_[length_] = '\0';
}

void OutputPane::AppendFormat(const char* format, ...) {
  char piece[FormatBufferSize];
  va_list arguments;
  va_start(arguments, format);
  int produced = std::vsnprintf(piece, sizeof piece, format, arguments);
  va_end(arguments);
  if (produced < 0) piece[0] = '\0';
  Append(piece);
}

void OutputPane::Refresh() {
  if (display_ != nullptr) display_->ShowText(text_);
  const char* dumpPath = std::getenv("TAVIK_PANE_DUMP");
  if (dumpPath != nullptr && dumpPath[0] != '\0') DumpPaneText(dumpPath, text_, length_);
}
