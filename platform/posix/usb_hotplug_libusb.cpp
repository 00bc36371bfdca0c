// The system's hot-plug notices on Linux: libusb's hot-plug callbacks for every USB device
// that arrives or leaves, on a context and event thread of their own that run while anybody is
// registered. libusb reports the events it learns from udev (or the kernel's netlink
// messages); a libusb without hot-plug support, or one that cannot start (no USB subsystem, as
// in some containers), gives no registration.
#include <libusb.h>

#include <atomic>
#include <mutex>
#include <sys/time.h>
#include <thread>

#include "platform/usb_hotplug.h"

namespace flashwright::platform {
namespace {

// How long the event thread waits for events before it looks whether it is to stop.
constexpr long kEventSliceUs = 200000;

class LibusbHotplugSource : public UsbHotplugSource {
 public:
  std::unique_ptr<UsbHotplugRegistration> Register(UsbHotplugFunction notice) override {
    std::lock_guard<std::mutex> lifecycle(lifecycle_mutex_);
    if (!StartLocked()) return nullptr;
    return listeners_.Add(std::move(notice), [this] { StopIfUnused(); });
  }

 private:
  static int LIBUSB_CALL OnHotplug(libusb_context* /*context*/, libusb_device* /*device*/,
                                   libusb_hotplug_event /*event*/, void* user_data) {
    static_cast<LibusbHotplugSource*>(user_data)->listeners_.Announce();
    return 0;  // stay registered
  }

  bool StartLocked() {
    if (context_ != nullptr) return true;
    if (unavailable_) return false;
    if (libusb_init(&context_) != 0) {
      context_ = nullptr;
      unavailable_ = true;
      return false;
    }
    const int flags = 0;
    if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) == 0 ||
        libusb_hotplug_register_callback(
            context_,
            static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                              LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
            static_cast<libusb_hotplug_flag>(flags), LIBUSB_HOTPLUG_MATCH_ANY,
            LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, &OnHotplug, this,
            &callback_) != LIBUSB_SUCCESS) {
      libusb_exit(context_);
      context_ = nullptr;
      unavailable_ = true;
      return false;
    }
    stop_ = false;
    events_ = std::thread([this] {
      while (!stop_.load()) {
        timeval slice{0, kEventSliceUs};
        libusb_handle_events_timeout_completed(context_, &slice, nullptr);
      }
    });
    return true;
  }

  void StopIfUnused() {
    std::lock_guard<std::mutex> lifecycle(lifecycle_mutex_);
    if (context_ == nullptr || listeners_.Count() != 0) return;
    stop_ = true;
    libusb_hotplug_deregister_callback(context_, callback_);
    libusb_interrupt_event_handler(context_);
    events_.join();
    libusb_exit(context_);
    context_ = nullptr;
  }

  std::mutex lifecycle_mutex_;
  UsbHotplugListeners listeners_;
  libusb_context* context_ = nullptr;
  libusb_hotplug_callback_handle callback_ = 0;
  std::thread events_;
  std::atomic<bool> stop_{false};
  // Once libusb could not give notices, it is not asked again.
  bool unavailable_ = false;
};

}  // namespace

UsbHotplugSource& SystemUsbHotplugSource() {
  // Never destroyed: a registration may outlive the static objects at the end of the program.
  static LibusbHotplugSource* source = new LibusbHotplugSource;
  return *source;
}

}  // namespace flashwright::platform
