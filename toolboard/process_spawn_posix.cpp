// posix_spawn and waitpid; a relative path is taken against the current directory, never on PATH.
#include "process_spawn.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

int SpawnAndWait(const std::string& program) {
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
