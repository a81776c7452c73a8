// The suite's files under $TAVIK_ROOT; the Windows media players map to the host's equivalent
// players; any other Windows program has no place here and reads as not installed.
#include "installed_program.h"

#include <strings.h>

#include "sysutil/program_search.h"
#include "platform/tavik_path.h"

namespace {

// A Windows player path and its stand-in here: the first of the two Windows paths maps to the
// player found on PATH (or in the system's program folders), the second to its flatpak export.
struct HostPlayer {
  const char* windowsPath;
  const char* program;     // looked up with FindProgram
  const char* usualPlace;  // a full path
};

const HostPlayer HostPlayers[] = {
    {"c:\\Progra~1\\VideoLan\\VLC\\VLC.exe", "vlc", nullptr},
    {"c:\\Program Files (x86)\\VideoLan\\VLC\\VLC.exe", nullptr, "/var/lib/flatpak/exports/bin/org.videolan.VLC"},
    {"c:\\Progra~1\\MPC-HC\\mpc-hc.exe", "mpv", nullptr},
    {"c:\\Program Files (x86)\\MPC-HC\\mpc-hc.exe", nullptr, "/var/lib/flatpak/exports/bin/io.mpv.Mpv"},
};

bool IsSuitePath(const char* path) { return strncasecmp(path, "C:\\Tavik\\", 9) == 0; }

}  // namespace

std::string InstalledProgramFile(const char* path) {
  if (path == nullptr) return "";
  for (const HostPlayer& player : HostPlayers) {
    if (strcasecmp(path, player.windowsPath) != 0) continue;
    return player.program != nullptr ? FindProgram(player.program) : player.usualPlace;
  }
  if (IsSuitePath(path)) return TavikPath(path);
  return "";
}
