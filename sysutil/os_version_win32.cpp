// GetVersionExA for the version triple; IsWow64Process for a 32-bit build on 64-bit Windows.
#include "os_version.h"

#include <windows.h>

#include "sysutil/version_info.h"

namespace {

using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);

// Looked up on every Is64BitOs call; absent on systems that predate it.
IsWow64ProcessFunction isWow64Process = nullptr;

}  // namespace

bool QueryOsVersion(OsVersion& version) {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = 148;
  if (!GetVersionExA(&info)) return false;
  version.platformId = info.dwPlatformId;
  version.major = info.dwMajorVersion;
  version.minor = info.dwMinorVersion;
  version.build = info.dwBuildNumber;
  return true;
}

const char* OwnPlatformName(int platformCode) {
  OsVersion version;
  if (!QueryOsVersion(version)) return WindowsVersionName(platformCode);
  return WindowsSystemName(platformCode, version.major, version.build);
}

int OsIs64Bit() {
  if (sizeof(void*) == 8) return 1;
  BOOL flag = FALSE;
  HMODULE kernel = GetModuleHandleA("kernel32");
  // GetProcAddress hands back a generic pointer; passing through void(*)() says the cast is meant.
  FARPROC found = kernel ? GetProcAddress(kernel, "IsWow64Process") : nullptr;
  isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void (*)()>(found));
  if (!isWow64Process) return 0;
  if (!isWow64Process(GetCurrentProcess(), &flag)) return 0;
  return flag ? 1 : 0;
}
