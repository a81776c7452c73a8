// Windows: the program's icon, which the build puts in as icon resource 1, in both of the system's sizes.
#include "window_platform/program_look.h"

#include <windows.h>

#include <FL/Fl_Window.H>

namespace {

constexpr WORD ProgramIconResource = 1;

HICON LoadProgramIcon(int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(ProgramIconResource), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), 0));
}

}  // namespace

void ApplyProgramLook() {
  Fl_Window::default_icons(LoadProgramIcon(SM_CXICON, SM_CYICON), LoadProgramIcon(SM_CXSMICON, SM_CYSMICON));
}
