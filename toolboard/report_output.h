// The report output of the menu window: each report replaces what it shows. The text logic does not
// depend on the toolkit; the window attaches the widget that shows it.
#pragma once

#include <string>

class ReportDisplay {
 public:
  virtual ~ReportDisplay() = default;
  // Replaces everything the display shows with `text`.
  virtual void ShowText(const char* text) = 0;
};

class ReportOutput {
 public:
  // Keeps a copy of `text`, shows it in the attached display and, when TAVIK_PANE_DUMP names a
  // file, writes it there.
  void Replace(const char* text);
  void AttachDisplay(ReportDisplay* display);
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  ReportDisplay* display_ = nullptr;
};
