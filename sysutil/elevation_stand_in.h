// Stand-ins that tests name for the road from the dialog to the address helper: a program in place of
// pkexec (TAVIK_ELEVATION_RUNNER), so that the road runs without asking for a password, and a folder in
// place of the system's configuration root (TAVIK_SETIP_CONFIG_ROOT), so that the helper's own run keeps
// its change where the test looks. Only a build configured with its tests, while its program runs from
// the build folder it was built in, honours them; an installed program never does.
#pragma once

#include <string>

struct ElevationStandIn {
  std::string runner;  // started with the helper's path and the parameter text
  std::string helper;  // the address helper of the same build
};

// True when a stand-in for pkexec is named and honoured here.
bool FindElevationStandIn(ElevationStandIn& standIn);

// True, with `root`, when a stand-in configuration root is named and honoured here.
bool FindConfigurationRootStandIn(std::string& root);
