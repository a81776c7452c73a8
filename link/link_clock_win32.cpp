// The performance counter on Windows (QueryPerformanceCounter), with GetTickCount where there is none.
#include "link_clock.h"

#include <windows.h>

std::uint32_t LinkClockFrequency() {
  LARGE_INTEGER frequency;
  if (!QueryPerformanceFrequency(&frequency)) return 0;
  // A frequency the clocks cannot keep in 32 bits would scale every reading wrongly: the tick count serves.
  if (frequency.QuadPart <= 0 || frequency.QuadPart > 0xFFFFFFFFLL) return 0;
  return static_cast<std::uint32_t>(frequency.QuadPart);
}

std::uint64_t LinkClockCount() {
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  return static_cast<std::uint64_t>(count.QuadPart);
}

std::uint32_t LinkClockTicks() { return GetTickCount(); }
