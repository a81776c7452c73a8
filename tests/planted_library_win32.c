/* A library planted beside the Windows programs under the name of one they use (VERSION.dll and the
   like): when any process loads it, it appends "loaded <its own path>" to the file that
   TAVIK_HELPER_RECORD names, so a test sees that a program took it instead of the system's own. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char record[MAX_PATH];
  char line[MAX_PATH + 16] = "loaded ";
  const DWORD recordLength = GetEnvironmentVariableA("TAVIK_HELPER_RECORD", record, sizeof record);
  if (recordLength == 0 || recordLength >= sizeof record) return TRUE;
  const DWORD prefix = lstrlenA(line);
  const DWORD pathLength = GetModuleFileNameA(self, line + prefix, MAX_PATH);
  lstrcatA(line, "\r\n");
  HANDLE file = CreateFileA(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return TRUE;
  DWORD written = 0;
  WriteFile(file, line, prefix + pathLength + 2, &written, NULL);
  CloseHandle(file);
  return TRUE;
}
