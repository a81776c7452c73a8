// Creating a file that must not exist yet, in one step, so that a record file of an earlier run is never
// overwritten even when it appears between the name search and the creation.
#pragma once

#include <cstdio>

// Opens a new file of that name for binary writing; null when the name exists already (errno EEXIST) or
// the file cannot be made.
std::FILE* LinkCreateNewFile(const char* name);
