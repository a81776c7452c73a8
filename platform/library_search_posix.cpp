// The dynamic loader takes its search path from the system and the program's own run path, not from
// the current folder: nothing to limit.
#include "platform/library_search.h"

bool LimitLibrarySearchToSystemFolder() { return true; }
