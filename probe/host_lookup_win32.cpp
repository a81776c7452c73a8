// The resolver's check through getaddrinfo, its message text from the system's message table.
#include "host_lookup.h"

#include "platform/socket_library.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

namespace {

// The resolver needs the socket library; starts are counted, so a caller that keeps it started is unaffected.
int Resolve(const char* address, const addrinfo& hints) {
  const int started = StartSocketLibrary();
  if (started != 0) return started;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(address, nullptr, &hints, &found);
  if (result == 0) freeaddrinfo(found);
  StopSocketLibrary();
  return result;
}

}  // namespace

int CheckIpv4Address(const char* address, char* errorText, std::size_t errorTextSize) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  if (address[0] >= '0' && address[0] <= '9') hints.ai_flags = AI_NUMERICHOST;
  const int result = Resolve(address, hints);
  if (result == 0 || errorTextSize == 0) return result;
  errorText[0] = '\0';
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr,
                 static_cast<DWORD>(result), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), errorText,
                 static_cast<DWORD>(errorTextSize), nullptr);
  return result;
}
