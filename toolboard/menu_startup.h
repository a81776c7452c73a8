// The start-up facts of toolboard: its own path, the directory it treats as its own, the station role
// that the title names, the title itself and the sibling programs found at start-up.
#pragma once

#include <cstddef>

#include "appbase/startup_directory.h"

constexpr size_t SignalbayPathSize = 500;

// Process-wide, set once at start-up, beside the program's facts (appbase/startup_directory.h).
extern char SignalbayPath[SignalbayPathSize];  // where "Run Signalbay" starts the I/O test tool

// The suite's other service programs, in the suite's own notation; relative ones are taken against
// the current directory.
extern const char* const CommRecorderProgram;        // "cmltap.exe"
extern const char* const WiretraceProgram;           // "..\Signalbay\wiretrace.exe"
extern const char* const LinkProbeProgram;           // "linkprobe.exe"
extern const char* const SignalbayNearProgram;       // "..\Signalbay\Quillon.exe"
extern const char* const SignalbayInstalledProgram;  // "c:\Tavik\Signalbay\Quillon.exe"

// The program's start-up facts (appbase/startup_directory.h), then the station role.
void PrepareMenuStartup(const char* commandLine);

// "Tavik Tech Support Menu 2.3 %s" with the role, cut to fit; an empty role leaves a closing blank.
void FormatMenuTitle(char* title, size_t size, const char* role);

// Which sibling programs exist now. Also settles SignalbayPath: the near candidate when it exists,
// else the installed one (kept even when that is missing too).
struct SiblingPrograms {
  bool signalbay = false;
  bool commRecorder = false;
  bool wiretrace = false;
  bool linkProbe = false;
};
SiblingPrograms FindSiblingPrograms();
