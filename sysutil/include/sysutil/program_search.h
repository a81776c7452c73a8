// Finding an installed program by name, as the command processor would (Linux: the desktop tools and
// the programs the address helper runs).
#pragma once

#include <string>

// The full path of `program` when it is installed: on PATH, or in the system's usual program folders;
// empty when it is not. A name holding a path separator is taken as given when it is executable.
std::string FindProgram(const std::string& program);
