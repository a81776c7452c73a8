// Windows Sockets 2.0 for the program's whole run; the start's result is not examined, a failed
// start shows later as "Network setup error".
#include "platform/socket_library.h"

#include <winsock2.h>

void StartSocketLibrary() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 0), &data);
}

void StopSocketLibrary() { WSACleanup(); }
