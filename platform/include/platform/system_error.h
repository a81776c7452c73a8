// Error numbers as the system reports them: Winsock numbers for sockets and Win32 numbers for files and
// devices, on every platform, so that results, record files and texts mean the same everywhere.
#pragma once

#include <string>

enum class ErrorNumbering { Winsock, Win32 };

// The platform's own error (errno here, WSAGetLastError/GetLastError on Windows) in the given numbering.
// An error without a counterpart keeps the platform's own number.
int SystemErrorNumber(ErrorNumbering numbering, int osError);

// The platform's own wording of one of its errors.
std::string SystemErrorText(int osError);

// The calling thread's last platform error (errno here, GetLastError on Windows).
int LastSystemError();
