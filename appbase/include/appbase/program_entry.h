// The program body of linkprobe, called by the platform's entry point with the command line as one text.
#pragma once

// Returns the process exit code.
int LinkProbeMain(const char* commandLine);
