// Time that bytes take on the simulated serial line: 19200 baud, 8N1, so ten bit times a byte.
#pragma once

#include <chrono>
#include <cstddef>
#include <thread>

namespace flashwright::sim {

using SimClock = std::chrono::steady_clock;

inline constexpr long long kBaudRate = 19200;
inline constexpr long long kBitsPerByte = 10;

// The time of `count` bytes, computed from the count each time so that long runs do not drift.
constexpr std::chrono::nanoseconds ByteTimes(std::size_t count) {
  return std::chrono::nanoseconds(static_cast<long long>(count) * kBitsPerByte * 1'000'000'000LL /
                                  kBaudRate);
}

// Sleeps until an absolute time of the steady clock. Every deadline is computed from the start
// of its reply or request, so late wake-ups do not add up.
inline void SleepUntil(SimClock::time_point deadline) { std::this_thread::sleep_until(deadline); }

}  // namespace flashwright::sim
