// linkdump FILE|FOLDER...: the link's record files as text; see linkdump_run.h.
#include "linkdump_run.h"

#include <iostream>

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunLinkDump(args, std::cout, std::cerr, [] { return true; });
}
