#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock.h"

namespace flashwright::platform {
namespace {

std::atomic<TickSource> g_tick_source{nullptr};

std::uint32_t SystemTick() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  // Truncation to 32 bits is the point: the counter wraps like the system's tick counter.
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace

std::uint32_t TickCount() {
  const TickSource source = g_tick_source.load(std::memory_order_relaxed);
  return source != nullptr ? source() : SystemTick();
}

void SleepMs(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void SetTickSourceForTesting(TickSource source) {
  g_tick_source.store(source, std::memory_order_relaxed);
}

}  // namespace flashwright::platform
