// Opening a file the suite only reads (settings, configuration version, program files) without being
// held up by what may lie under its name in a shared folder: a FIFO, a device or a folder is refused at
// once instead of blocking the program for ever or being read as text.
#pragma once

#include <cstdio>
#include <string>

// `path` opened for reading in text mode when it is a regular file; nullptr when it does not exist,
// cannot be opened, or is anything else.
std::FILE* OpenRegularFile(const std::string& path);
