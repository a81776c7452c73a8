// Starting the Windows tools: each program by its full path in the system's folders, straight through
// CreateProcessW. Neither the command processor nor the shell looks for it, so a program of the same
// name in the current folder (the suite's folder, which users may write) is never run.
#include <sys/stat.h>
#include <windows.h>

#include "sysutil/system_tools.h"

namespace {

constexpr int NothingToRun = -1;

std::string Utf8(const wchar_t* wide, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string text(size > 0 ? size : 0, '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), size, nullptr, nullptr);
  return text;
}

std::wstring Wide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(size > 0 ? size : 0, L'\0');
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

// The system folder and the Windows folder as the system names them (empty where a call fails: then
// nothing is run).
WindowsFolders SystemFolders() {
  wchar_t system[MAX_PATH];
  wchar_t windows[MAX_PATH];
  const UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
  const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
  WindowsFolders folders;
  if (systemLength > 0 && systemLength < MAX_PATH) folders.system = Utf8(system, static_cast<int>(systemLength));
  if (windowsLength > 0 && windowsLength < MAX_PATH) folders.windows = Utf8(windows, static_cast<int>(windowsLength));
  return folders;
}

}  // namespace

int StartSystemTool(SystemTool tool, int platformCode) {
  auto exists = [](const char* path) {
    struct _stat info;
    return _stat(path, &info) == 0;
  };
  const WindowsToolStart start = WindowsToolCommand(tool, platformCode, SystemFolders(), exists);
  if (start.program.empty()) return NothingToRun;
  const std::wstring program = Wide(start.program);
  std::wstring commandLine = Wide(start.commandLine);  // CreateProcessW may write into it
  const std::wstring folder = Wide(start.startFolder);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process))
    return static_cast<int>(GetLastError());
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
