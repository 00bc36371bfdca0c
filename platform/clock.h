// The millisecond tick counter (32 bits, wraps after about 49.7 days) and sleep.
#pragma once

#include <cstdint>

namespace flashwright::platform {

std::uint32_t TickCount();
void SleepMs(std::uint32_t milliseconds);

// Tests move the counter near its wrap-around; nullptr restores the system counter.
using TickSource = std::uint32_t (*)();
void SetTickSourceForTesting(TickSource source);

}  // namespace flashwright::platform
