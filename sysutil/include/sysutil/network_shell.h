// Running the network shell with elevated rights for an address change, without waiting for it.
#pragma once

#include <cstdint>
#include <string>

// Starts the network shell with `parameters` ("interface ip set address ..."), asking the system for
// elevated rights; returns at once. Failures are not returned (the caller watches the address instead):
// they go to the standard error and to the system's log under the program's name.
// On Windows it is System32's netsh, and `ownerWindow` (the system's handle of the window asking, 0 for
// none) owns the consent prompt, so that the prompt comes up in front of it.
// On Linux the address helper tavik-setip takes the place of the network shell: run directly when the
// program is root, else through pkexec, and only from <prefix>/libexec/tavik or beside this program when
// it is owned by root and writable by no one else (nor any folder above it); otherwise nothing runs.
// A run that ends other than with a change (a refused password, the helper's failure) is told when it
// ends, from a thread of its own. A build configured with its tests, run from its build folder,
// lets TAVIK_ELEVATION_RUNNER name a program run in place of pkexec with the helper's path and the
// parameters.
void RunNetworkShell(const std::string& parameters, std::uintptr_t ownerWindow = 0);
