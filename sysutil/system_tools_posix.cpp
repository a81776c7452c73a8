// Starting the desktop's own tools in the background through the command processor. A tool that is not
// installed is told on the standard error and in the system's log: the buttons show nothing.
#include <cstdio>
#include <cstdlib>

#include "platform/system_log.h"
#include "sysutil/program_search.h"
#include "sysutil/system_tools.h"

int StartSystemTool(SystemTool tool) {
  std::string command = DesktopToolCommand(tool, FindProgram);
  if (command.empty()) {
    const std::string message = MissingDesktopToolMessage(tool);
    std::fprintf(stderr, "%s\n", message.c_str());
    WriteSystemLog(SystemLogLevel::Warning, message);
    return -1;
  }
  return std::system(command.c_str());
}
