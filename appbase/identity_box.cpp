// Keeps the identity text so that a field attached later still shows the latest one.
#include "appbase/identity_box.h"

void IdentityBox::Set(const char* text) {
  text_ = text != nullptr ? text : "";
  if (field_ != nullptr) field_->ShowText(text_.c_str());
}

void IdentityBox::AttachField(IdentityField* field) {
  field_ = field;
  if (field_ != nullptr) field_->ShowText(text_.c_str());
}
