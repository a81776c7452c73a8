// The C runtime's spawn in wait mode.
#include "process_spawn.h"

#include <process.h>

#include <cstdint>

int SpawnAndWait(const std::string& program) {
  intptr_t result = _spawnl(_P_WAIT, program.c_str(), program.c_str(), static_cast<const char*>(nullptr));
  return result == -1 ? -1 : static_cast<int>(result);
}
