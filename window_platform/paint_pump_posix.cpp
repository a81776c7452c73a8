// X11: the exposures, geometry changes and selection requests are taken out of the queue one by one and
// handed to the toolkit; every other event keeps its place.
#include "window_platform/paint_pump.h"

#include <FL/Fl.H>
#include <FL/x.H>

namespace {

Bool IsPaintOrSystemEvent(Display*, XEvent* event, XPointer) {
  switch (event->type) {
    case Expose:
    case GraphicsExpose:
    case NoExpose:
    case ConfigureNotify:
    case SelectionRequest:
      return True;
    default:
      return False;
  }
}

}  // namespace

void PumpPaintMessages() {
  if (fl_display == nullptr) return;
  XEvent event;
  while (XCheckIfEvent(fl_display, &event, IsPaintOrSystemEvent, nullptr)) fl_handle(event);
  Fl::flush();
}
