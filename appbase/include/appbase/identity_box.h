// The one-line field of the main window that names this computer and its address. Logic sets the
// text here; the window attaches the widget that shows it. Each program's main routine owns its box.
#pragma once

#include <string>

class IdentityField {
 public:
  virtual ~IdentityField() = default;
  virtual void ShowText(const char* text) = 0;
};

class IdentityBox {
 public:
  // Keeps `text` and shows it in the attached field, if any.
  void Set(const char* text);
  void AttachField(IdentityField* field);
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  IdentityField* field_ = nullptr;
};
