// Joins the arguments with blanks into one command-line text, as Windows hands it to its programs.
#include <string>

#include "appbase/program_entry.h"

int main(int argc, char** argv) {
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  return ProgramMain(commandLine.c_str());
}
