// Where the suite's files are on this machine. The suite names them with Windows paths under
// C:\Tavik; other systems keep the same tree under another root.
#pragma once

#include <string>

// The suite's root folder: $TAVIK_ROOT, else /opt/tavik (C:\Tavik on Windows).
std::string TavikRoot();

// A suite path such as "C:\Tavik\BIN\Tconfig." as a path of this machine. Components that do not exist
// as given resolve to the entry of their folder that Windows would take for them: equal ignoring case and
// trailing dots and blanks (so "Tconfig." finds the file "Tconfig"); components that do not exist at all
// stay as given. Paths outside C:\Tavik come back with slashes only.
std::string TavikPath(const std::string& windowsPath);

// A program path relative to the current directory ("..\Signalbay\wiretrace.exe"): the path with
// slashes as given when it exists, else without its ".exe"; empty when neither exists.
std::string ProgramPath(const std::string& windowsPath);

// The folder a program runs from, in the suite's Windows notation (backslashes), so that tests of
// the suite's folder names ("\BIN", "GAMES") read the same on every system.
std::string WindowsNotation(const std::string& path);
