// Fixed-size pane text with cutting at its limits, and the optional dump of each refresh.
#include "output_pane.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "appbase/text_dump.h"

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
  DumpShownText(text_, length_);
}
