// The Windows GUI entry point: it limits where libraries are loaded from before anything else runs,
// then hands over the command line without the program name.
#include <windows.h>

#include "appbase/program_entry.h"
#include "platform/library_search.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  LimitLibrarySearchToSystemFolder();
  return ProgramMain(commandLine);
}
