// The output keeps its own copy, so a display attached later still shows the last report.
#include "report_output.h"

#include "appbase/text_dump.h"

void ReportOutput::Replace(const char* text) {
  text_ = text != nullptr ? text : "";
  if (display_ != nullptr) display_->ShowText(text_.c_str());
  DumpShownText(text_.c_str(), text_.size());
}

void ReportOutput::AttachDisplay(ReportDisplay* display) {
  display_ = display;
  if (display_ != nullptr) display_->ShowText(text_.c_str());
}
