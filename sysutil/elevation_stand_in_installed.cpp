// A build without its tests (the one that is installed) knows no stand-ins.
#include "elevation_stand_in.h"

bool FindElevationStandIn(ElevationStandIn&) { return false; }

bool FindConfigurationRootStandIn(std::string&) { return false; }
