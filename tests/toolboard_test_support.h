// Helpers of the toolboard tests: dates read alike everywhere, where the buttons are, program files put
// in place with a chosen modification time, stand-in programs written as shell scripts.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "probe_test_support.h"

namespace toolboardtest {

// Mon Dec  7 12:00:00 2026 and Tue Dec  8 09:30:05 2026, in UTC.
constexpr time_t FirstDate = 1796644800;
constexpr time_t SecondDate = 1796722205;
inline const char* const FirstDateLine = "Mon Dec  7 12:00:00 2026\n";
inline const char* const SecondDateLine = "Tue Dec  8 09:30:05 2026\n";

// Where the menu's and the IP set-up dialog's buttons are, in the window's own coordinates (their
// centres): the same on Linux and under Wine.
struct Point {
  int x, y;
};
constexpr Point RunTestTool{172, 272};
constexpr Point RescanPorts{172, 362};
constexpr Point ReportSoftware{172, 392};
constexpr Point TryIpSetup{467, 455};
constexpr Point DoneExit{290, 487};
constexpr Point DialogGroup{411, 342};
constexpr Point DialogTry{299, 455};
constexpr Point DialogDone{299, 502};

// Makes the local time UTC while it lives, so dates read the same on every machine.
class UtcTime {
 public:
  UtcTime() : tz_("TZ", "UTC") { tzset(); }
  ~UtcTime() { tzset(); }

 private:
  ScopedEnv tz_;
};

inline void SetModificationTime(const std::string& path, time_t when) {
  timespec times[2] = {{when, 0}, {when, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Copies a Windows program file of the version fixtures to `path` and dates it `when`.
inline void InstallFixture(const std::string& fixture, const std::string& path, time_t when) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::filesystem::copy_file(std::string(TOOLBOARD_PE_FIXTURES) + "/" + fixture, path,
                             std::filesystem::copy_options::overwrite_existing);
  SetModificationTime(path, when);
}

// Writes an executable shell script.
inline void WriteScript(const ScratchTree& tree, const std::string& relative, const std::string& body) {
  tree.Write(relative, "#!/bin/sh\n" + body);
  chmod(tree.Path(relative).c_str(), 0755);
}

}  // namespace toolboardtest
