// A build without its tests (the one that is installed) knows no stand-in for pkexec.
#include "elevation_stand_in.h"

bool FindElevationStandIn(ElevationStandIn&) { return false; }
