// errno translated into the Winsock and Win32 numbers that the suite's tools report.
#include "platform/system_error.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

const std::pair<int, int> kWinsockNumbers[] = {
    {EINTR, 10004},         {EBADF, 10009},        {EACCES, 10013},          {EFAULT, 10014},
    {EINVAL, 10022},        {EMFILE, 10024},       {EWOULDBLOCK, 10035},     {EINPROGRESS, 10035},
    {EALREADY, 10037},      {ENOTSOCK, 10038},     {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},    {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},     {ENETUNREACH, 10051},     {ENETRESET, 10052},
    {ECONNABORTED, 10053},  {ECONNRESET, 10054},   {EPIPE, 10054},           {ENOBUFS, 10055},
    {EISCONN, 10056},       {ENOTCONN, 10057},     {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},     {ECONNREFUSED, 10061}, {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},     {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},
};

// A COM port that another program holds reads "access denied" on Windows, whether the kernel said
// busy or the advisory lock was taken.
const std::pair<int, int> kWin32Numbers[] = {
    {ENOENT, 2},  {ENXIO, 2},   {ENODEV, 2},      {ENOTDIR, 3}, {EMFILE, 4}, {EACCES, 5},
    {EPERM, 5},   {EBUSY, 5},   {EWOULDBLOCK, 5}, {EBADF, 6},   {ENOMEM, 8}, {EROFS, 19},
    {EEXIST, 80}, {EINVAL, 87}, {ENOSPC, 112},    {ENOTTY, 1},  {EIO, 1117}, {ETIMEDOUT, 1460},
};

template <size_t N>
int Lookup(const std::pair<int, int> (&table)[N], int osError) {
  for (const auto& entry : table)
    if (entry.first == osError) return entry.second;
  return osError;
}

}  // namespace

int SystemErrorNumber(ErrorNumbering numbering, int osError) {
  return numbering == ErrorNumbering::Winsock ? Lookup(kWinsockNumbers, osError) : Lookup(kWin32Numbers, osError);
}

std::string SystemErrorText(int osError) {
  char buffer[256];
  return strerror_r(osError, buffer, sizeof buffer);
}

int LastSystemError() { return errno; }
