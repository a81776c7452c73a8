// A build with its tests honours the stand-ins while its program runs from inside the build folder
// (TAVIK_BUILD_FOLDER, compiled in), and hands the pkexec stand-in that build's own helper.
#include "elevation_stand_in.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace {

std::string RealPath(const char* path) {
  char resolved[PATH_MAX];
  return realpath(path, resolved) ? std::string(resolved) : std::string();
}

// The value of `variable` when this program is one of the build's own; empty otherwise.
std::string HonouredSetting(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr || *value == '\0') return "";
  const std::string build = RealPath(TAVIK_BUILD_FOLDER);
  const std::string program = RealPath("/proc/self/exe");
  return build.empty() || program.rfind(build + "/", 0) != 0 ? "" : value;
}

}  // namespace

bool FindElevationStandIn(ElevationStandIn& standIn) {
  const std::string runner = HonouredSetting("TAVIK_ELEVATION_RUNNER");
  if (runner.empty()) return false;
  standIn = {runner, TAVIK_BUILD_SETIP_PATH};
  return true;
}

bool FindConfigurationRootStandIn(std::string& root) {
  root = HonouredSetting("TAVIK_SETIP_CONFIG_ROOT");
  return !root.empty();
}
