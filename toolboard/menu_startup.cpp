// Start-up decisions of toolboard that need no window.
#include "menu_startup.h"

#include <cstdio>

#include "program_launch.h"

char SignalbayPath[SignalbayPathSize] = "";

const char* const CommRecorderProgram = "cmltap.exe";
const char* const WiretraceProgram = "..\\Signalbay\\wiretrace.exe";
const char* const LinkProbeProgram = "linkprobe.exe";
const char* const SignalbayNearProgram = "..\\Signalbay\\Quillon.exe";
const char* const SignalbayInstalledProgram = "c:\\Tavik\\Signalbay\\Quillon.exe";

void PrepareMenuStartup(const char* commandLine) {
  PrepareProgramStartup(commandLine);
  StationRole = DecideStationRole(StartupDirectory);
}

void FormatMenuTitle(char* title, size_t size, const char* role) {
  std::snprintf(title, size, "Tavik Tech Support Menu 2.3 %s", role);
}

SiblingPrograms FindSiblingPrograms() {
  SiblingPrograms found;
  found.commRecorder = !LocateProgramFile(CommRecorderProgram).empty();
  const char* signalbay = SignalbayNearProgram;
  if (LocateProgramFile(signalbay).empty()) signalbay = SignalbayInstalledProgram;
  std::snprintf(SignalbayPath, sizeof SignalbayPath, "%s", signalbay);
  found.signalbay = !LocateProgramFile(SignalbayPath).empty();
  found.wiretrace = !LocateProgramFile(WiretraceProgram).empty();
  found.linkProbe = !LocateProgramFile(LinkProbeProgram).empty();
  return found;
}
