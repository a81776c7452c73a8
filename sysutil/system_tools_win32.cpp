// Starting the Windows tools through the command processor, by the platform family.
#include <sys/stat.h>

#include <cstdlib>

#include "sysutil/system_tools.h"

int StartSystemTool(SystemTool tool, int platformCode) {
  int statusResult = -1;
  auto exists = [&statusResult](const char* path) {
    struct _stat info;
    statusResult = _stat(path, &info);
    return statusResult == 0;
  };
  std::string command = WindowsToolCommand(tool, platformCode, exists);
  if (command.empty()) return statusResult;
  return std::system(command.c_str());
}
