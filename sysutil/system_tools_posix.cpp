// Starting the desktop's own tools in the background through the command processor.
#include <cstdio>
#include <cstdlib>

#include "sysutil/program_search.h"
#include "sysutil/system_tools.h"

int StartSystemTool(SystemTool tool) {
  std::string command = DesktopToolCommand(tool, FindProgram);
  if (command.empty()) {
    std::fprintf(stderr, "%s\n", MissingDesktopToolMessage(tool).c_str());
    return -1;
  }
  return std::system(command.c_str());
}
