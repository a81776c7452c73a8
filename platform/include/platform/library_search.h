// Where a program loads its libraries from. On Windows the folder of the programs is one that users may
// write (the suite writes its status and record files there), so a library planted beside a program
// must never be loaded in place of the system's own.
#pragma once

// Limits every later library load of the process to the system folder. Called first thing in each
// program's start-up, before anything could load a library. Returns false when the system could not
// be told (an old Windows without the call); the libraries loaded on first use still come from the
// system folder by their full path.
bool LimitLibrarySearchToSystemFolder();
