// Windows: PM_QS_PAINT takes only the paint messages out of the queue, and every PeekMessage call handles
// the messages that other threads and programs send, so the system does not take the window for hung.
#include "window_platform/paint_pump.h"

#include <windows.h>

#include <FL/Fl.H>

namespace {

// A paint message comes back until its area is drawn: a bound keeps a window that fails to draw from
// holding the wait.
constexpr int PaintMessagesPerPump = 64;

}  // namespace

void PumpPaintMessages() {
  MSG message;
  for (int handled = 0; handled < PaintMessagesPerPump; ++handled) {
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) break;
    DispatchMessageW(&message);
  }
  Fl::flush();
}
