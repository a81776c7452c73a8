// The library's millisecond clock for time-outs and microsecond clock for record time stamps.
#include "link_clock.h"

#include "link/link.h"

#include <cmath>

namespace {
constexpr double twoTo32 = 4294967296.0;

// The frequency is asked once, at the first reading of either clock.
std::uint32_t KeptFrequency() {
  static const std::uint32_t frequency = LinkClockFrequency();
  return frequency;
}

// The counter as the double the conversions scale: high half times 2^32 plus low half.
double CountAsDouble(std::uint64_t count) {
  return static_cast<double>(count >> 32) * twoTo32 + static_cast<double>(count & 0xFFFFFFFFu);
}

// Truncates toward zero and keeps the low 32 bits of the whole number.
std::uint32_t Low32(double value) { return static_cast<std::uint32_t>(std::fmod(std::trunc(value), twoTo32)); }
}  // namespace

std::uint32_t LinkCountToMilliseconds(std::uint64_t count, std::uint32_t frequency) {
  return Low32(CountAsDouble(count) * 1000.0 / frequency);
}

double LinkCountToMicroseconds(std::uint64_t count, std::uint32_t frequency) {
  return CountAsDouble(count) * 1000000.0 / frequency;
}

std::uint32_t LinkMicrosecondsToTimestamp(double microseconds) { return Low32(microseconds); }

std::uint32_t LinkMilliseconds() {
  std::uint32_t frequency = KeptFrequency();
  if (frequency == 0) return LinkClockTicks();
  return LinkCountToMilliseconds(LinkClockCount(), frequency);
}

double LinkMicroseconds() {
  std::uint32_t frequency = KeptFrequency();
  if (frequency == 0) return LinkClockTicks() * 1000.0;
  return LinkCountToMicroseconds(LinkClockCount(), frequency);
}

std::uint32_t LinkTimestamp() { return LinkMicrosecondsToTimestamp(LinkMicroseconds()); }
