// The accumulated text of the linkprobe window: every action clears it, appends its findings and
// refreshes the display once at its end. The text logic does not depend on the toolkit.
#pragma once

#include <cstddef>

// Whatever shows the pane's text: the window's text display, or nothing in the windowless mode.
class PaneDisplay {
 public:
  virtual ~PaneDisplay() = default;
  // Replaces everything the display shows with `text`.
  virtual void ShowText(const char* text) = 0;
};

class OutputPane {
 public:
  static constexpr size_t Capacity = 10000;        // characters, terminator excluded
  static constexpr size_t FormatBufferSize = 300;  // per AppendFormat call, terminator included

  void Clear();
  // Appends `text`, cut where the pane is full; a null text clears the pane instead.
  void Append(const char* text);
  // printf-style; output beyond FormatBufferSize - 1 characters is cut.
  void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Shows exactly the accumulated text; when TAVIK_PANE_DUMP names a file, also writes it there.
  void Refresh();

  void AttachDisplay(PaneDisplay* display) { display_ = display; }
  const char* Text() const { return text_; }
  size_t Length() const { return length_; }

 private:
  char text_[Capacity + 1] = "";
  size_t length_ = 0;
  PaneDisplay* display_ = nullptr;
};
