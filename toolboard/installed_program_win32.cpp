// On Windows every program path is the machine's own.
#include "installed_program.h"

std::string InstalledProgramFile(const char* path) { return path != nullptr ? path : ""; }
