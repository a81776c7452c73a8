// The configuration version line and the COM port list, from the file and the last port scan.
#include "appbase/ports_section.h"

#include <cstdio>

#include "platform/regular_file.h"
#include "platform/tavik_path.h"

namespace {

const char* const ConfigVersionPath = "C:\\Tavik\\BIN\\Tconfig.";
constexpr int ConfigLineSize = 260;  // the first line is read up to 259 characters

}  // namespace

std::string ConfigVersionLine() {
  FILE* file = OpenRegularFile(TavikPath(ConfigVersionPath));
  if (file == nullptr) return "";
  char line[ConfigLineSize];
  if (std::fgets(line, sizeof line, file) == nullptr) line[0] = '\0';
  std::fclose(file);
  return std::string("Version       : ") + line;
}

std::string ComPortSection(const ComPortTable& table) {
  char row[32];
  int count = 0;
  for (int n = 1; n <= table[0] && n <= MaxComPort; ++n) count += table[n] != PortAbsent;
  std::string text = "******************************\nCOMM PORTS found";
  if (count == 0) {
    text += "(NONE)\n";
  } else {
    std::snprintf(row, sizeof row, "(%d)\n", count);
    text += row;
  }
  for (int n = 1; n <= table[0] && n <= MaxComPort; ++n) {
    if (table[n] == PortAbsent) continue;
    std::snprintf(row, sizeof row, "   COM%d %c\n", n, table[n] == PortBusy ? '*' : ' ');
    text += row;
  }
  return text;
}
