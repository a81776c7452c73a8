// syslog(3) under the program's own name, from the user facility, with the process number.
#include "platform/system_log.h"

#include <syslog.h>
#include <unistd.h>

#include <climits>

namespace {

// The file name of the running program: /proc/self/exe where it exists, else what syslog picks itself.
const char* OwnProgramName() {
  static const std::string name = [] {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return std::string();
    const std::string own(path, static_cast<std::size_t>(length));
    return own.substr(own.rfind('/') + 1);
  }();
  return name.empty() ? nullptr : name.c_str();
}

int Priority(SystemLogLevel level) {
  switch (level) {
    case SystemLogLevel::Error:
      return LOG_ERR;
    case SystemLogLevel::Warning:
      return LOG_WARNING;
    case SystemLogLevel::Notice:
      break;
  }
  return LOG_NOTICE;
}

}  // namespace

void WriteSystemLog(SystemLogLevel level, const std::string& text) {
  openlog(OwnProgramName(), LOG_PID, LOG_USER);
  syslog(Priority(level), "%s", text.c_str());
  closelog();
}
