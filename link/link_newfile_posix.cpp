// A new file through the C library's exclusive creation mode.
#include "link_newfile.h"

std::FILE* LinkCreateNewFile(const char* name) { return std::fopen(name, "wbx"); }
