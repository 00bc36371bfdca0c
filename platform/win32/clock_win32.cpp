// The system's millisecond tick counter and sleep.
#include <windows.h>

#include <atomic>

#include "platform/clock.h"

namespace flashwright::platform {
namespace {

std::atomic<TickSource> g_tick_source{nullptr};

}  // namespace

std::uint32_t TickCount() {
  const TickSource source = g_tick_source.load(std::memory_order_relaxed);
  return source != nullptr ? source() : static_cast<std::uint32_t>(::GetTickCount());
}

void SleepMs(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

void SetTickSourceForTesting(TickSource source) {
  g_tick_source.store(source, std::memory_order_relaxed);
}

}  // namespace flashwright::platform
