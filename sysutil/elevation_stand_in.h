// A stand-in for pkexec that tests name in TAVIK_ELEVATION_RUNNER, so that the road from the dialog to
// the address helper runs without asking for a password. Only a build configured with its tests, while
// it runs from the build folder it was built in, honours it; an installed program never does.
#pragma once

#include <string>

struct ElevationStandIn {
  std::string runner;  // started with the helper's path and the parameter text
  std::string helper;  // the address helper of the same build
};

// True when a stand-in is named and honoured here.
bool FindElevationStandIn(ElevationStandIn& standIn);
