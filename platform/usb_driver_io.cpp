#include "platform/usb_driver_io.h"

#include <atomic>
#include <chrono>

#include "platform/traced_usb_driver_io.h"
#include "platform/wire_trace.h"

namespace flashwright::platform {

std::uint32_t DriverOverlapped::Wait(std::uint32_t timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (timeout_ms == kWaitForever) {
    signalled_.wait(lock, [this] { return event_; });
  } else if (!signalled_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                  [this] { return event_; })) {
    return kWaitTimeout;
  }
  event_ = false;  // auto-reset
  return kWaitSignalled;
}

std::uint32_t DriverOverlapped::Result(std::uint32_t* returned) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (running_) {
    if (returned != nullptr) *returned = 0;
    return kErrorIoIncomplete;
  }
  if (returned != nullptr) *returned = returned_;
  return error_;
}

void DriverOverlapped::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  running_ = true;
  event_ = false;
  error_ = 0;
  returned_ = 0;
}

void DriverOverlapped::Complete(std::uint32_t error, std::uint32_t returned) {
  // Notified under the lock: a waiter that wakes may destroy the overlapped at once, so the
  // notification must be over before the waiter can see the event.
  std::lock_guard<std::mutex> lock(mutex_);
  running_ = false;
  error_ = error;
  returned_ = returned;
  event_ = true;
  signalled_.notify_all();
}

std::uint32_t UsbDriverIo::DeviceLocation(const std::string& /*path*/, std::string* location) {
  if (location != nullptr) location->clear();
  return kErrorNotSupported;
}

namespace {
std::atomic<UsbDriverIo*> installed{nullptr};

UsbDriverIo& UntracedUsbDriverIo() {
  UsbDriverIo* io = installed.load();
  return io != nullptr ? *io : SystemUsbDriverIo();
}
}  // namespace

UsbDriverIo& CurrentUsbDriverIo() {
  // Only with a trace installed does a request take the way through the tracing layer.
  if (ActiveWireTrace() != nullptr) return TracedUsbDriverIo(UntracedUsbDriverIo);
  return UntracedUsbDriverIo();
}

UsbDriverIo* InstallUsbDriverIo(UsbDriverIo* io) { return installed.exchange(io); }

}  // namespace flashwright::platform
