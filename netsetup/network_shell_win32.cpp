// The network shell through the Windows shell, with the "runas" verb that asks for elevation. netsh is
// named by its full path in the system folder: a bare name is looked for in the program's own folder
// first, which ordinary users can write to, and whatever netsh.exe lay there would run elevated. A netsh
// that cannot be started (the consent prompt refused among other reasons) is told on the standard error
// and in the Application event log, since the dialog shows only the address.
#include "netsetup/network_shell.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>

#include "platform/system_error.h"
#include "platform/system_log.h"

namespace {

void TellNotStarted(int error) {
  const std::string text = "cannot start netsh: " + SystemErrorText(error) + "; the address stays as it is";
  std::fprintf(stderr, "%s\n", text.c_str());
  WriteSystemLog(SystemLogLevel::Error, text);
}

// "C:\Windows\System32\netsh.exe" as this system names it; empty when the system folder is unknown.
std::string SystemNetshPath() {
  char folder[MAX_PATH];
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "";
  return std::string(folder, length) + "\\netsh.exe";
}

}  // namespace

void RunNetworkShell(const std::string& parameters, std::uintptr_t ownerWindow) {
  const std::string netsh = SystemNetshPath();
  if (netsh.empty()) {
    TellNotStarted(static_cast<int>(GetLastError()));
    return;
  }
  HINSTANCE started =
      ShellExecuteA(reinterpret_cast<HWND>(ownerWindow), "runas", netsh.c_str(), parameters.c_str(), nullptr, SW_HIDE);
  // The shell's result is above 32 when it started the program; at most 32 it is the reason, in the
  // system's error numbers. The address then stays as it is, which the caller sees by watching it.
  const auto result = reinterpret_cast<std::intptr_t>(started);
  if (result <= 32) TellNotStarted(static_cast<int>(result));
}
