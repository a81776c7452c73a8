// The version information of a program file, as the platform lets us read it.
#pragma once

#include <string>

#include "version_resource.h"

// False when the file cannot be read or carries no version information.
bool ReadFileVersionInfo(const std::string& path, FileVersionInfo& info);
