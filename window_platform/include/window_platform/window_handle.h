// The system's handle of a shown toolkit window, for system calls that want an owner window.
#pragma once

#include <cstdint>

class Fl_Window;

// The window's handle as a number (an HWND on Windows, an X11 window id elsewhere); 0 when not shown.
std::uintptr_t WindowHandleNumber(const Fl_Window* window);
