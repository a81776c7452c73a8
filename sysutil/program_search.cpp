// Program lookup on PATH and in the system folders (which a user's PATH may lack: ip lives in /usr/sbin).
#include "sysutil/program_search.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace {

bool IsExecutableFile(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

}  // namespace

std::string FindProgram(const std::string& program) {
  if (program.empty()) return "";
  if (program.find('/') != std::string::npos) return IsExecutableFile(program) ? program : "";
  const char* path = std::getenv("PATH");
  std::string folders = std::string(path ? path : "") + ":/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
  std::istringstream list(folders);
  for (std::string folder; std::getline(list, folder, ':');) {
    if (folder.empty()) continue;
    std::string candidate = folder + "/" + program;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return "";
}
