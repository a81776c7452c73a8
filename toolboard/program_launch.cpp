// Sibling programs are found afresh at each start, so a program removed after start-up simply fails to start.
#include "program_launch.h"

#include "appbase/painted_wait.h"
#include "platform/tavik_path.h"
#include "process_spawn.h"

std::string LocateProgramFile(const char* path) { return ProgramPath(TavikPath(path != nullptr ? path : "")); }

int RunProgramAndWait(const char* path) {
  std::string file = LocateProgramFile(path);
  if (file.empty()) return -1;
  return RunKeepingWindowsPainted([&file] { return SpawnAndWait(file); });
}
