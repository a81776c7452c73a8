// The resolver's check and its message text through getaddrinfo and gai_strerror.
#include "host_lookup.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int CheckIpv4Address(const char* address, char* errorText, std::size_t errorTextSize) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  if (address[0] >= '0' && address[0] <= '9') hints.ai_flags = AI_NUMERICHOST;
  addrinfo* found = nullptr;
  int result = getaddrinfo(address, nullptr, &hints, &found);
  if (result == 0) {
    freeaddrinfo(found);
    return 0;
  }
  int systemError = errno;
  const char* text = result == EAI_SYSTEM ? std::strerror(systemError) : gai_strerror(result);
  std::snprintf(errorText, errorTextSize, "%s", text);
  return result;
}
