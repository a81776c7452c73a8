// BSD sockets need no start-up: both operations have nothing to do.
#include "socket_library.h"

void StartSocketLibrary() {}
void StopSocketLibrary() {}
