// The entry point of both windowed programs: the platform's entry (program_entry_posix.cpp,
// program_entry_win32.cpp, target program_entry) hands the command line as one text to the program body,
// which each program defines.
#pragma once

// The program body; returns the process exit code.
int ProgramMain(const char* commandLine);
