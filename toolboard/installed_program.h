// Where a program that the software report names by its Windows path lies on this machine.
#pragma once

#include <string>

// Suite paths under the suite's root; the media players' paths to the host's own player, found on
// PATH for the first path and in its usual place for the second; empty for a program this machine
// cannot have.
std::string InstalledProgramFile(const char* path);
