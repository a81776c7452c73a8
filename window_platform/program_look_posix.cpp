// Linux: the toolkit draws through fontconfig, which falls back to its default sans-serif face when the
// named one is missing. The first character of a name is the toolkit's style code.
#include "window_platform/program_look.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>

void ApplyProgramLook() {
  Fl::set_font(FL_HELVETICA, " Liberation Sans");
  Fl::set_font(FL_HELVETICA_BOLD, "BLiberation Sans");
  Fl::set_font(FL_HELVETICA_ITALIC, "ILiberation Sans");
  Fl::set_font(FL_HELVETICA_BOLD_ITALIC, "PLiberation Sans");
}
