// The full path of the running program file.
#pragma once

#include <cstddef>

// Writes the path into `path` (cut to `size` - 1 characters) and returns its length, 0 on failure.
size_t GetModulePath(char* path, size_t size);
