// The identity box shown in a one-line toolkit output field; both main windows attach one.
#pragma once

#include <FL/Fl_Output.H>

#include "appbase/identity_box.h"

class OutputIdentityField : public IdentityField {
 public:
  explicit OutputIdentityField(Fl_Output* output) : output_(output) {}
  void ShowText(const char* text) override { output_->value(text); }

 private:
  Fl_Output* output_;
};
