// Running the network shell with elevated rights for an address change, without waiting for it.
#pragma once

#include <cstdint>
#include <string>

// Starts the network shell with `parameters` ("interface ip set address ..."), asking the system for
// elevated rights; returns at once. Failures are not reported (the caller watches the address instead).
// On Windows it is System32's netsh, and `ownerWindow` (the system's handle of the window asking, 0 for
// none) owns the consent prompt, so that the prompt comes up in front of it.
// On Linux the address helper tavik-setip takes the place of the network shell: run directly when the
// program is root, else through pkexec. The environment variable TAVIK_ELEVATION_RUNNER, meant for
// tests, names a program run in place of pkexec with the helper's path and the parameters.
// The helper is looked for beside this program, then where the build put it.
void RunNetworkShell(const std::string& parameters, std::uintptr_t ownerWindow = 0);
