// linkprobe.exe is a windowed program. It has a standard output only where its starter redirected one,
// to a pipe (a remote-management tool) or a file ("> file" in cmd.exe), and the report then goes there
// too. It always goes to ReportFileName in the current folder: cmd.exe and PowerShell do not wait for a
// windowed program, so text written to the console they run in would come after their next prompt, and
// the exit status would be lost; a file can be read however the program was started, even from a
// shortcut or by a scheduler that gives it no handles at all. The file is written whole and renamed
// into place, so a link planted under its name is replaced, not followed.
#include "report_output.h"

#include <windows.h>

#include <filesystem>

#include "appbase/whole_file.h"

bool StandardOutputGiven() {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  return output != nullptr && output != INVALID_HANDLE_VALUE;
}

std::string WriteReportCopy(const std::string& text) {
  if (WriteWholeFile(ReportFileName, text, FileTextMode::Text)) return {};
  std::error_code unknown;
  return std::string(ReportFileName) + " in " + std::filesystem::current_path(unknown).string();
}
