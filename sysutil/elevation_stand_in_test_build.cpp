// A build with its tests honours TAVIK_ELEVATION_RUNNER while its program runs from inside the build
// folder (TAVIK_BUILD_FOLDER, compiled in), and hands the stand-in that build's own helper.
#include "elevation_stand_in.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace {

std::string RealPath(const char* path) {
  char resolved[PATH_MAX];
  return realpath(path, resolved) ? std::string(resolved) : std::string();
}

}  // namespace

bool FindElevationStandIn(ElevationStandIn& standIn) {
  const char* runner = std::getenv("TAVIK_ELEVATION_RUNNER");
  if (runner == nullptr || *runner == '\0') return false;
  const std::string build = RealPath(TAVIK_BUILD_FOLDER);
  const std::string program = RealPath("/proc/self/exe");
  if (build.empty() || program.rfind(build + "/", 0) != 0) return false;
  standIn = {runner, TAVIK_BUILD_SETIP_PATH};
  return true;
}
