// Waiting in a test for something another process or thread brings about, without a fixed sleep.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

// How often a condition is asked again: short beside the waits, long enough not to busy the machine.
inline constexpr std::chrono::milliseconds EventuallyPollInterval{50};

// Asks `condition` again every `poll` until it holds, for up to `seconds`; whether it came to hold. It is
// asked at least once, and once more at the deadline, so a condition that holds late is not missed.
inline bool Eventually(const std::function<bool()>& condition, double seconds = 10,
                       std::chrono::milliseconds poll = EventuallyPollInterval) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(poll);
  }
  return true;
}
