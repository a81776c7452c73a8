// BSD sockets need no start-up: both operations have nothing to do.
#include "platform/socket_library.h"

void StartSocketLibrary() {}
void StopSocketLibrary() {}
