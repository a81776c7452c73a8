// Which copy of the address helper may be run with raised rights: only one that no one but root can have
// put or changed where it is.
#pragma once

#include <string>

// Whether `path` is a regular file (not a symbolic link) owned by root and writable by no one else, in
// folders that are, up to "/", owned by root and writable by no one else.
bool IsProtectedRootFile(const std::string& path);

// The first of `folders` that holds a protected root file `name`, as its full path; empty when none does.
std::string TrustedHelperPath(const std::string& name, const std::string& firstFolder, const std::string& secondFolder);
