// The Windows GUI entry point hands over the command line without the program name.
#include <windows.h>

#include "appbase/program_entry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) { return ProgramMain(commandLine); }
