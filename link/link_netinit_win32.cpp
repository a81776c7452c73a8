// Winsock start-up (version 2.0) and clean-up around the life of the link objects.
#include "link_netinit.h"

#include <winsock2.h>

namespace {
WSADATA startupData; // filled by WSAStartup; the library reads nothing from it
}

bool LinkNetStartup() { return WSAStartup(MAKEWORD(2, 0), &startupData) == 0; }

void LinkNetCleanup() { WSACleanup(); }
