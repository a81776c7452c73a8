// The program body of toolboard, called by the platform's entry point with the command line as one text.
#pragma once

// Returns the process exit code, 0.
int ToolboardMain(const char* commandLine);
