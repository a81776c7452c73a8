// The network shell through the Windows shell, with the "runas" verb that asks for elevation.
#include "sysutil/network_shell.h"

#include <windows.h>
#include <shellapi.h>

void RunNetworkShell(const std::string& parameters) {
  ShellExecuteA(nullptr, "runas", "netsh", parameters.c_str(), nullptr, SW_HIDE);
}
