// The two reports of toolboard: the platform and serial ports, and the installed suite programs and
// media players with their build texts, version numbers and dates.
#pragma once

#include <cstddef>
#include <string>

#include "installed_program.h"

class ReportOutput;
struct ToolboardState;

constexpr size_t ReportTextSize = 2000;  // per report, terminator included
constexpr size_t ProgramRowSize = 520;   // a row of InstalledPrograms::Describe, terminator included

// What InstalledPrograms::Describe gives for a program whose file is missing.
enum MissingRowMode {
  NotInstalledRow = 0,  // "<name> is not installed\n"
  EmptyRow = 1,         // the empty text
  NoRow = 2,            // no row at all (nullptr), so the caller can try a second path
};

// "Rescan serial ports" and start-up: rescans COM1..COM32, replaces the report output with the
// platform line, the main program's and the game server's build texts, the configuration version
// and the ports found, and refreshes the identity box.
void ReportPlatformAndPorts(ToolboardState& state);

// Where a program path of the report lies on this machine (empty when nowhere). The system's own
// (installed_program.h) is the default; tests put in their own.
using ProgramLocator = std::string (*)(const char* path);

// The rows of the software report, and where their programs are looked for.
class InstalledPrograms {
 public:
  explicit InstalledPrograms(ProgramLocator locate = InstalledProgramFile) : locate_(locate) {}

  // "<name>  <a.b.c.d or Unk>  <ctime of the modification>" for the program at `path`; for a missing
  // file as `mode` says. The text is kept here until the next call.
  const char* Describe(const char* path, const char* name, MissingRowMode mode);

 private:
  ProgramLocator locate_;
  char row_[ProgramRowSize] = "";
};

// "Report installed software": replaces the report output with the suite programs, the feedback
// games and the media players found, each looked for by `programs`.
void ReportInstalledSoftware(ReportOutput& output, InstalledPrograms programs = InstalledPrograms());

// One feedback game that the product lists in the software report.
struct FeedbackGame {
  const char* path;
  const char* name;
  MissingRowMode mode;
};
constexpr int FeedbackGameCount = 6;
// The first five come before the media players, the last one after them.
extern const FeedbackGame FeedbackGames[FeedbackGameCount];
