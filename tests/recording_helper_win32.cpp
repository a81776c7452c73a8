// A stand-in program for the Windows tests: it notes the command line it was started with and ends
// with a known code, so that tests can see what a spawn, the command processor or the shell ran
// without running a real tool. TAVIK_HELPER_RECORD names the file to append the line to;
// TAVIK_HELPER_EXIT the exit code (37 when unset); TAVIK_HELPER_SLEEP milliseconds to wait first.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main() {
  if (const char* sleep = std::getenv("TAVIK_HELPER_SLEEP")) Sleep(static_cast<DWORD>(std::atoi(sleep)));
  if (const char* record = std::getenv("TAVIK_HELPER_RECORD")) {
    if (std::FILE* file = std::fopen(record, "a")) {
      std::fprintf(file, "%s\n", GetCommandLineA());
      std::fclose(file);
    }
  }
  const char* code = std::getenv("TAVIK_HELPER_EXIT");
  return code ? std::atoi(code) : 37;
}
