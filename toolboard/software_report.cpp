// Both reports are built afresh into a fixed-size text and then replace the report output.
#include "software_report.h"

#include <cstdio>
#include <cstring>

#include "appbase/ports_section.h"
#include "installed_program.h"
#include "sysutil/file_status.h"
#include "sysutil/host_address.h"
#include "appbase/startup_directory.h"
#include "sysutil/version_info.h"
#include "toolboard_state.h"

const FeedbackGame FeedbackGames[FeedbackGameCount] = {
    {"C:\\Tavik\\Games\\Aquarium.exe", "Aquarium", NotInstalledRow},
    {"C:\\Tavik\\Lumenfall\\Racer\\Racer.exe", "Lumenfall Racer", NotInstalledRow},
    {"C:\\Tavik\\Lumenfall\\Garden\\Garden.exe", "Lumenfall Garden", NotInstalledRow},
    {"C:\\Tavik\\Lumenfall\\Lanterns\\Lanterns.exe", "Lumenfall Lanterns", EmptyRow},
    {"C:\\Tavik\\Lumenfall\\Kites\\Kites.exe", "Lumenfall Kites", NotInstalledRow},
    {"C:\\Tavik\\Skyhaven\\Voyage\\Voyage.exe", "Skyhaven Voyage", NotInstalledRow},
};

namespace {

const char* const MainProgramPath = "C:\\Tavik\\BIN\\navro.exe";
const char* const GameServerPath = "C:\\Tavik\\Games\\Orb.exe";
const char* const GameServerCopyPath = "C:\\Tavik\\BIN\\Orb.exe";

constexpr size_t PlatformRowSize = 260;
constexpr size_t SoftwareRowSize = 300;
constexpr int GamesBeforePlayers = 5;

// A report of at most ReportTextSize - 1 characters; pieces that do not fit are cut.
class ReportText {
 public:
  void Append(const char* piece) {
    size_t length = std::strlen(text_);
    std::snprintf(text_ + length, sizeof text_ - length, "%s", piece);
  }
  const char* Text() const { return text_; }

 private:
  char text_[ReportTextSize] = "";
};

// "<name padded to width><separator><build text>" in a row buffer of rowSize characters.
struct VersionRowForm {
  size_t rowSize;
  int width;
  const char* separator;
};

void AppendVersionRow(ReportText& report, const VersionRowForm& form, const char* name, const char* path) {
  static_assert(PlatformRowSize <= SoftwareRowSize, "the row buffer holds both reports' rows");
  char row[SoftwareRowSize];
  std::snprintf(row, form.rowSize, "%-*s%s%s", form.width, name, form.separator,
                GetFileVersionText(BuildStringsWithDate, path));
  report.Append(row);
}

// A media player's row: its first path, else its second (or the not-installed row).
void AppendPlayerRow(ReportText& report, InstalledPrograms& programs, const char* name, const char* firstPath,
                     const char* secondPath) {
  const char* row = programs.Describe(firstPath, name, NoRow);
  if (row == nullptr) row = programs.Describe(secondPath, name, NotInstalledRow);
  report.Append(row);
}

void AppendGameRow(ReportText& report, InstalledPrograms& programs, const FeedbackGame& game) {
  report.Append(programs.Describe(game.path, game.name, game.mode));
}

// The suite's main program and its game server; the copy of the game server in the program folder
// is compared only where the main program is installed.
void AppendSuitePrograms(ReportText& report) {
  bool mainFound = GetFileVersionText(BuildStringsWithDate, MainProgramPath)[0] != 'U';
  if (mainFound) {
    AppendVersionRow(report, {SoftwareRowSize, 17, ": "}, "Tavik (navro)", MainProgramPath);
  } else {
    report.Append("Navro not found - must be game\n");
  }
  AppendVersionRow(report, {SoftwareRowSize, 17, " : "}, "Orb (gamedll)", GameServerPath);
  if (!mainFound) return;
  char gameServer[VersionTextSize];
  std::snprintf(gameServer, sizeof gameServer, "%s", GetFileVersionText(BuildStringsWithDate, GameServerPath));
  if (std::strncmp(gameServer, GetFileVersionText(BuildStringsWithDate, GameServerCopyPath), sizeof gameServer) != 0) {
    report.Append("***GAMEDLL VERSIONS DIFFER***\n");
  }
}

}  // namespace

const char* InstalledPrograms::Describe(const char* path, const char* name, MissingRowMode mode) {
  std::string file = locate_(path);
  std::string date;
  if (file.empty() || !FileModificationText(file, date)) {
    if (mode == NoRow) return nullptr;
    if (mode == EmptyRow) {
      row_[0] = '\0';
    } else {
      std::snprintf(row_, sizeof row_, "%s is not installed\n", name);
    }
    return row_;
  }
  std::snprintf(row_, sizeof row_, "%s  %s  %s", name, GetFileVersionText(FileVersionNumber, file.c_str()),
                date.c_str());
  return row_;
}

void ReportPlatformAndPorts(ToolboardState& state) {
  ReportText report;
  char line[PlatformRowSize];
  ScanComPorts(MaxComPort, state.ports.data());
  std::snprintf(line, sizeof line, "Platform: %d (%s) %d-bit OS\n", PlatformCode, GetPlatformName(),
                Is64BitOs() != 0 ? 64 : 32);
  report.Append(line);
  AppendVersionRow(report, {PlatformRowSize, 14, ": "}, "Tavik (navro)", MainProgramPath);
  AppendVersionRow(report, {PlatformRowSize, 16, ": "}, "   Orb (gamedll)", GameServerPath);
  report.Append(ConfigVersionLine().c_str());
  report.Append(ComPortSection(state.ports).c_str());
  state.report.Replace(report.Text());
  state.identity.Set(GetHostAddressLine());
}

void ReportInstalledSoftware(ReportOutput& output, InstalledPrograms programs) {
  ReportText report;
  AppendSuitePrograms(report);
  for (int i = 0; i < GamesBeforePlayers; ++i) AppendGameRow(report, programs, FeedbackGames[i]);
  AppendPlayerRow(report, programs, "VLC", "c:\\Progra~1\\VideoLan\\VLC\\VLC.exe",
                  "c:\\Program Files (x86)\\VideoLan\\VLC\\VLC.exe");
  AppendPlayerRow(report, programs, "MPC-HC", "c:\\Progra~1\\MPC-HC\\mpc-hc.exe",
                  "c:\\Program Files (x86)\\MPC-HC\\mpc-hc.exe");
  AppendGameRow(report, programs, FeedbackGames[FeedbackGameCount - 1]);
  output.Replace(report.Text());
}
