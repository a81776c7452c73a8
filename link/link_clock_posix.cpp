// The performance counter on POSIX: the monotonic steady clock counted in nanoseconds.
#include "link_clock.h"

#include <chrono>

namespace {
constexpr std::uint32_t nanosecondsPerSecond = 1000000000u;
}

std::uint32_t LinkClockFrequency() { return nanosecondsPerSecond; }

std::uint64_t LinkClockCount() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count());
}

std::uint32_t LinkClockTicks() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}
