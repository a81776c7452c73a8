// The link library's clocks over the platform's performance counter: the platform supplies the raw
// counter, its frequency and a millisecond tick count; the conversions are shared and wrap at 32 bits.
#pragma once

#include <cstdint>

// Platform side. Counts per second kept as u32; 0 means there is no performance counter.
std::uint32_t LinkClockFrequency();
std::uint64_t LinkClockCount();
std::uint32_t LinkClockTicks();

// Counter reading -> milliseconds, truncated toward zero, low 32 bits.
std::uint32_t LinkCountToMilliseconds(std::uint64_t count, std::uint32_t frequency);
// Counter reading -> microseconds, not truncated.
double LinkCountToMicroseconds(std::uint64_t count, std::uint32_t frequency);
// Microseconds -> a time stamp: truncated toward zero, low 32 bits.
std::uint32_t LinkMicrosecondsToTimestamp(double microseconds);
