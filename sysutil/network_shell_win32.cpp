// The network shell through the Windows shell, with the "runas" verb that asks for elevation.
#include "sysutil/network_shell.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>

#include "platform/system_error.h"

void RunNetworkShell(const std::string& parameters) {
  HINSTANCE started = ShellExecuteA(nullptr, "runas", "netsh", parameters.c_str(), nullptr, SW_HIDE);
  // The shell's result is above 32 when it started the program; at most 32 it is the reason, in the
  // system's error numbers. The address then stays as it is, which the caller sees by watching it.
  const auto result = reinterpret_cast<std::intptr_t>(started);
  if (result <= 32)
    std::fprintf(stderr, "cannot start netsh: %s\n", SystemErrorText(static_cast<int>(result)).c_str());
}
