// Running a child process to its end: the platform's spawn-and-wait.
#pragma once

#include <string>

// Starts `program` with `program` as its argument zero and no other argument, in the current
// directory and environment, and waits until it ends. Its exit code, or -1 when it could not start.
int SpawnAndWait(const std::string& program);
