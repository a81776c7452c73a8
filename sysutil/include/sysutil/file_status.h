// Existence and modification date of files, in the C runtime's terms.
#pragma once

#include <string>

bool FileExists(const std::string& path);

// The ctime text of the file's last modification ("Wed Jun 30 21:49:08 1993\n"); false when its status
// cannot be read.
bool FileModificationText(const std::string& path, std::string& text);
