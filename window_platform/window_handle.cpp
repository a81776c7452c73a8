// The toolkit's platform header stays in this one file: its X11 side defines macros (None, Status)
// that clash with ordinary names.
#include "window_platform/window_handle.h"

#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <type_traits>

namespace {

// A pointer on Windows (HWND), an integer id on X11.
template <typename Handle>
std::uintptr_t AsNumber(Handle handle) {
  if constexpr (std::is_pointer_v<Handle>) {
    return reinterpret_cast<std::uintptr_t>(handle);
  } else {
    return static_cast<std::uintptr_t>(handle);
  }
}

}  // namespace

std::uintptr_t WindowHandleNumber(const Fl_Window* window) { return AsNumber(fl_xid(window)); }
