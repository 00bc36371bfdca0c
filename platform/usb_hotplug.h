// Notices that USB devices were plugged in or pulled out: the system's hot-plug events, for the
// view that lists the devices. A notice says only that something changed; whoever receives it
// lists the devices again.
//
// On Linux the system's source is libusb's hot-plug support, which needs a USB subsystem that
// reports device changes (udev or the kernel's netlink events); where there is none the
// source gives no registration and the caller works with the list it has. Tests and the
// simulated device install a source of their own.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace flashwright::platform {

// Runs on a thread of the source (never the registering thread's event loop) once a device
// came or went. It must only hand the notice on (post it to an event loop) and must not
// register or unregister.
using UsbHotplugFunction = std::function<void()>;

// Notices go to the registration's function until it is destroyed. Destroying it waits for a
// notice being delivered to it, so that afterwards its function never runs again.
class UsbHotplugRegistration {
 public:
  virtual ~UsbHotplugRegistration() = default;
};

class UsbHotplugSource {
 public:
  virtual ~UsbHotplugSource() = default;
  // Null when this source gives no notices (the system has no hot-plug support).
  virtual std::unique_ptr<UsbHotplugRegistration> Register(UsbHotplugFunction notice) = 0;
};

// The registered functions of a source and their delivery, for the sources to share.
class UsbHotplugListeners {
 public:
  UsbHotplugListeners();
  ~UsbHotplugListeners();
  UsbHotplugListeners(const UsbHotplugListeners&) = delete;
  UsbHotplugListeners& operator=(const UsbHotplugListeners&) = delete;

  // `removed` runs after the registration's function was taken out (on the thread that
  // destroys the registration), so that a source can stop once nobody listens.
  std::unique_ptr<UsbHotplugRegistration> Add(UsbHotplugFunction notice,
                                              std::function<void()> removed = {});
  // Calls every registered function.
  void Announce();
  std::size_t Count() const;

  // Shared with the registrations, which may outlive the listeners.
  struct State;

 private:
  std::shared_ptr<State> state_;
};

// The source the process uses: the one installed, else the system's.
UsbHotplugSource& CurrentUsbHotplugSource();
// Installs `source` for the whole process and returns the one installed before; null
// restores the system's.
UsbHotplugSource* InstallUsbHotplugSource(UsbHotplugSource* source);
// The system's source (libusb hot-plug events on Linux).
UsbHotplugSource& SystemUsbHotplugSource();

// Installs a source for the scope and puts back the previous one at its end.
class ScopedUsbHotplugSource {
 public:
  explicit ScopedUsbHotplugSource(UsbHotplugSource* source)
      : previous_(InstallUsbHotplugSource(source)) {}
  ~ScopedUsbHotplugSource() { InstallUsbHotplugSource(previous_); }
  ScopedUsbHotplugSource(const ScopedUsbHotplugSource&) = delete;
  ScopedUsbHotplugSource& operator=(const ScopedUsbHotplugSource&) = delete;

 private:
  UsbHotplugSource* previous_;
};

}  // namespace flashwright::platform
