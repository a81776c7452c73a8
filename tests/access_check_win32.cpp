// A helper for the installer test: asks the system's access check what a user who is no administrator,
// and an administrator, may do with objects that carry the installer's access lists, because Wine keeps
// of a list that a file is given only the Unix mode it maps onto. Arguments: the output file, then the
// security descriptor strings of the suite folder, BIN and an installed program. Writes one line per
// question: "<object> <who> <right> <0|1>".
#include <windows.h>

#include <sddl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Right {
  const char* name;
  DWORD mask;
};

const std::vector<Right> FolderRights{{"list", FILE_LIST_DIRECTORY | FILE_TRAVERSE},
                                      {"add-file", FILE_ADD_FILE},
                                      {"add-folder", FILE_ADD_SUBDIRECTORY},
                                      {"delete-child", FILE_DELETE_CHILD},
                                      {"delete", DELETE},
                                      {"change-access", WRITE_DAC},
                                      {"take-owner", WRITE_OWNER}};
const std::vector<Right> FileRights{{"read-run", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},
                                    {"write", FILE_WRITE_DATA},
                                    {"delete", DELETE},
                                    {"change-access", WRITE_DAC}};

GENERIC_MAPPING FileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};

// The process's own token as an impersonation token; with the administrators' group kept for denying
// only when `asUser`, which makes it a user who is no administrator. Null on failure.
HANDLE CheckToken(bool asUser) {
  HANDLE process = nullptr, restricted = nullptr, impersonation = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &process)) return nullptr;
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  SID_AND_ATTRIBUTES disabled = {administrators, 0};
  if (asUser && (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
                 !CreateRestrictedToken(process, 0, 1, &disabled, 0, nullptr, 0, nullptr, &restricted)))
    restricted = nullptr;
  HANDLE source = asUser ? restricted : process;
  if (source && !DuplicateToken(source, SecurityImpersonation, &impersonation)) impersonation = nullptr;
  if (restricted) CloseHandle(restricted);
  CloseHandle(process);
  return impersonation;
}

// Whether `token` is granted all of `mask` on an object with descriptor `sd`.
bool Granted(PSECURITY_DESCRIPTOR sd, HANDLE token, DWORD mask) {
  PRIVILEGE_SET privileges;
  DWORD privilegesSize = sizeof privileges, granted = 0;
  BOOL allowed = FALSE;
  return AccessCheck(sd, token, mask, &FileMapping, &privileges, &privilegesSize, &granted, &allowed) && allowed;
}

}  // namespace

// Exit code 0 when every question was asked, 2 on bad arguments, 3 when a token or descriptor failed.
int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 5) return 2;
  std::FILE* out = _wfopen(argv[1], L"w");
  if (!out) return 2;
  HANDLE user = CheckToken(true), administrator = CheckToken(false);
  const char* const objects[] = {"suite", "bin", "program"};
  int code = user && administrator ? 0 : 3;
  for (int i = 0; i < 3 && code == 0; ++i) {
    // The access check asks for a primary group, which the installer neither sets nor needs.
    std::wstring text = argv[i + 2];
    text.insert(text.find(L"D:") == std::wstring::npos ? text.size() : text.find(L"D:"), L"G:SY");
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &sd, nullptr)) code = 3;
    for (const Right& right : sd == nullptr ? std::vector<Right>{} : i < 2 ? FolderRights : FileRights) {
      std::fprintf(out, "%s user %s %d\n", objects[i], right.name, Granted(sd, user, right.mask));
      std::fprintf(out, "%s administrator %s %d\n", objects[i], right.name, Granted(sd, administrator, right.mask));
    }
    LocalFree(sd);
  }
  std::fclose(out);
  return code;
}
