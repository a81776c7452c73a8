// The C runtime's spawn in wait mode. The runtime joins the arguments into one command line without
// quoting them, so a path with blanks is quoted here to reach the child as one argument.
#include "process_spawn.h"

#include <process.h>

#include <cstdint>

int SpawnAndWait(const std::string& program) {
  const std::string argumentZero = program.find_first_of(" \t") == std::string::npos ? program : "\"" + program + "\"";
  intptr_t result = _spawnl(_P_WAIT, program.c_str(), argumentZero.c_str(), static_cast<const char*>(nullptr));
  return result == -1 ? -1 : static_cast<int>(result);
}
