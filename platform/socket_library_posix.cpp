// BSD sockets need no start-up: both operations have nothing to do.
#include "platform/socket_library.h"

int StartSocketLibrary() { return 0; }
void StopSocketLibrary() {}
