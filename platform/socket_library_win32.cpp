// Windows Sockets 2.0: WSAStartup counts its starts, and WSACleanup ends one of them.
#include "platform/socket_library.h"

#include <winsock2.h>

int StartSocketLibrary() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 0), &data);
}

void StopSocketLibrary() { WSACleanup(); }
