// POSIX sockets need no library start-up: the socket calls are part of the C library.
#include "link_netinit.h"

bool LinkNetStartup() { return true; }

void LinkNetCleanup() {}
