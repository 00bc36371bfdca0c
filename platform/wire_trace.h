// What crosses the wire to a device, for a person diagnosing a link from afar: the bytes
// written to and read from the reader port, its purges and time-outs, and the driver requests
// of the USB devices. One observer for the whole process, none by default; the link and the
// USB device access call it only when one is installed, so without it they do no extra work.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace flashwright::platform {

// One driver request to a USB device, as it went.
struct UsbTraceRequest {
  std::uint32_t code = 0;            // the device-I/O control code
  const std::uint8_t* setup = nullptr;  // the request's setup bytes (its input header)
  std::size_t setup_size = 0;
  std::uint32_t asked = 0;           // bytes the request asked to move
  std::uint32_t moved = 0;           // bytes it moved
  std::uint32_t result = 0;          // its system error code, 0 for success
};

class WireTrace {
 public:
  virtual ~WireTrace() = default;

  // The reader port: opened (with the system error of a failed open), closed.
  virtual void PortOpened(unsigned port, const std::string& device, int result) = 0;
  virtual void PortClosed() = 0;
  // Bytes written (those the write took; `result` its error code), bytes read.
  virtual void Written(const std::uint8_t* bytes, std::size_t count, int result) = 0;
  virtual void Read(const std::uint8_t* bytes, std::size_t count) = 0;
  virtual void Purged(int result) = 0;
  // A receive that ended without the reply it waited for.
  virtual void TimedOut(int time_limit_ms) = 0;

  virtual void UsbRequest(const UsbTraceRequest& request) = 0;
};

namespace wire_trace_detail {
inline std::atomic<WireTrace*> active{nullptr};
}

// Installs `trace` for the whole process (nullptr: tracing off) and returns the one before.
inline WireTrace* SetWireTrace(WireTrace* trace) {
  return wire_trace_detail::active.exchange(trace);
}
// The installed observer, or nullptr.
inline WireTrace* ActiveWireTrace() {
  return wire_trace_detail::active.load(std::memory_order_acquire);
}

}  // namespace flashwright::platform
