// The programs import only Windows' known libraries directly; the others are delay-loaded (see
// cmake/TavikDelayLoad.cmake) and so are loaded here, at their first use, from the system folder only.
#include "platform/library_search.h"

#include <windows.h>
#include <delayimp.h>

#include <string>

namespace {

using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);

// The system folder with the library's name: the one place a delay-loaded library may come from.
std::wstring SystemFolderPath(const char* library) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return L"";
  std::wstring path(folder, length);
  path += L'\\';
  for (const char* c = library; *c; ++c) path += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  return path;
}

// The delay-load helper asks before it loads a library by its bare name: it is loaded by its full path
// instead (its own dependencies then come from its folder first). Answers the library's handle, or
// nullptr to let the helper go on, which only happens when the system's copy cannot be loaded.
FARPROC WINAPI LoadFromSystemFolder(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
  const std::wstring path = SystemFolderPath(info->szDll);
  if (path.empty()) return nullptr;
  return reinterpret_cast<FARPROC>(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace

// Set before any code runs, so that no delay-loaded call can come first. This file is linked wherever
// the start-up calls the function below, which keeps the hook from being replaced by the runtime's
// empty one.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemFolder;
}

bool LimitLibrarySearchToSystemFolder() {
  // Windows 8 and later, and Windows 7 with its update for it: looked up, so that the programs still
  // start where it is missing.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  FARPROC found = kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
  if (!found) {
    SetDllDirectoryW(L"");  // at least the current folder is no longer searched
    return false;
  }
  // GetProcAddress hands back a generic pointer; passing through void(*)() says the cast is meant.
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void (*)()>(found));
  return setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}
