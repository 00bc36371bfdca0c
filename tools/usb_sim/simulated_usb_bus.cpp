#include <cstdio>
#include <map>
#include <utility>

#include "tools/usb_sim/cyusb_driver.h"
#include "tools/usb_sim/device_firmware.h"
#include "tools/usb_sim/legacy_ezusb_driver.h"
#include "tools/usb_sim/pending_transfers.h"
#include "tools/usb_sim/simulated_usb.h"

namespace flashwright::usbsim {
namespace {

using platform::DriverHandle;

constexpr char kLegacyNamePrefix[] = "\\\\.\\Ezusb-";

// "\\.\Ezusb-<n>" exactly as the program forms it: decimal, no sign, no leading zeros.
bool ParseLegacyName(const std::string& path, std::uint16_t* index) {
  const std::string prefix = kLegacyNamePrefix;
  if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string digits = path.substr(prefix.size());
  if (digits.size() > 5 || (digits.size() > 1 && digits[0] == '0')) return false;
  std::uint32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (value > 0xFFFF) return false;
  *index = static_cast<std::uint16_t>(value);
  return true;
}

// The interface path of a CyUSB device, in the shape the system gives device interfaces.
std::string MemberPath(const DeviceProfile& profile, std::uint16_t index) {
  char path[128];
  std::snprintf(path, sizeof path,
                "\\\\?\\usb#vid_%04x&pid_%04x#sim%u#{ae18aa60-7f6a-11d4-97dd-00010229b959}",
                profile.vendor_id, profile.product_id, static_cast<unsigned>(index));
  return path;
}

std::string BusPath(Driver driver, const DeviceProfile& profile, std::uint16_t index) {
  if (!profile.bus_path.empty()) return profile.bus_path;
  return (driver == Driver::kLegacyEzusb ? "2-" : "1-") + std::to_string(index + 1u);
}

}  // namespace

struct SimulatedUsbBus::Impl {
  class HotplugSource : public platform::UsbHotplugSource {
   public:
    std::unique_ptr<platform::UsbHotplugRegistration> Register(
        platform::UsbHotplugFunction notice) override {
      return listeners.Add(std::move(notice));
    }
    platform::UsbHotplugListeners listeners;
  };

  struct Handle {
    Driver driver = Driver::kCyUsb;
    std::uint16_t index = 0;
    SimulatedUsbDevice* device = nullptr;
  };

  std::map<std::uint16_t, std::unique_ptr<SimulatedUsbDevice>>& DevicesOf(Driver driver) {
    return driver == Driver::kLegacyEzusb ? legacy : cyusb;
  }

  std::mutex mutex;
  std::map<std::uint16_t, std::unique_ptr<SimulatedUsbDevice>> legacy;
  std::map<std::uint16_t, std::unique_ptr<SimulatedUsbDevice>> cyusb;
  // Devices replaced by AddDevice stay alive (unplugged): tests may still hold them.
  std::vector<std::unique_ptr<SimulatedUsbDevice>> replaced;
  std::map<DriverHandle, Handle> handles;
  DriverHandle next_handle = 0x100;
  HotplugSource hotplug;
  // Declared after the devices so that it goes first: what is still pending ends (cancelled)
  // and the simulator thread is joined while the devices exist.
  PendingTransfers pending;
  CyUsbDriver cyusb_driver{pending};
};

SimulatedUsbBus::SimulatedUsbBus() : impl_(std::make_unique<Impl>()) {}

SimulatedUsbBus::~SimulatedUsbBus() = default;

SimulatedUsbDevice& SimulatedUsbBus::AddDevice(Driver driver, std::uint16_t index,
                                               DeviceProfile profile) {
  SimulatedUsbDevice* added = nullptr;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    auto& slot = impl_->DevicesOf(driver)[index];
    if (slot != nullptr) {
      slot->Unplug();
      impl_->replaced.push_back(std::move(slot));
    }
    slot = std::make_unique<SimulatedUsbDevice>(driver, std::move(profile));
    DeviceFirmware* firmware = slot->state_.get();
    PendingTransfers* pending = &impl_->pending;
    platform::UsbHotplugListeners* listeners = &impl_->hotplug.listeners;
    firmware->SetUnplugNotice([pending, firmware, listeners] {
      pending->DeviceGone(firmware);
      listeners->Announce();
    });
    added = slot.get();
  }
  impl_->hotplug.listeners.Announce();
  return *added;
}

platform::UsbHotplugSource& SimulatedUsbBus::Hotplug() { return impl_->hotplug; }

SimulatedUsbDevice* SimulatedUsbBus::Device(Driver driver, std::uint16_t index) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  auto& devices = impl_->DevicesOf(driver);
  const auto found = devices.find(index);
  return found == devices.end() ? nullptr : found->second.get();
}

void SimulatedUsbBus::CompleteAtOnce(bool on) { impl_->cyusb_driver.CompleteAtOnce(on); }

std::uint32_t SimulatedUsbBus::InterfaceMemberPath(const platform::InterfaceClassId& cls,
                                                   std::uint32_t index, std::string* path) {
  if (path == nullptr) return platform::kErrorInvalidParameter;
  if (cls != platform::kCyUsbInterfaceClass) return platform::kErrorNoMoreItems;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  std::uint32_t member = 0;
  for (const auto& [device_index, device] : impl_->cyusb) {
    if (!device->Plugged()) continue;
    if (member++ == index) {
      *path = MemberPath(device->profile(), device_index);
      return 0;
    }
  }
  return platform::kErrorNoMoreItems;
}

DriverHandle SimulatedUsbBus::Open(const std::string& path, bool /*overlapped*/,
                                   std::uint32_t* error) {
  std::uint32_t ignored = 0;
  if (error == nullptr) error = &ignored;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  Impl::Handle handle;
  std::uint16_t legacy_index = 0;
  if (ParseLegacyName(path, &legacy_index)) {
    const auto found = impl_->legacy.find(legacy_index);
    if (found != impl_->legacy.end()) {
      handle = {Driver::kLegacyEzusb, legacy_index, found->second.get()};
    }
  } else {
    for (const auto& [index, device] : impl_->cyusb) {
      if (MemberPath(device->profile(), index) == path) handle = {Driver::kCyUsb, index, device.get()};
    }
  }
  if (handle.device == nullptr) {
    *error = platform::kErrorFileNotFound;
    return platform::kInvalidDriverHandle;
  }
  *error = handle.device->state_->OpenHandle();
  if (*error != 0) return platform::kInvalidDriverHandle;
  const DriverHandle value = impl_->next_handle;
  impl_->next_handle += 4;
  impl_->handles[value] = handle;
  impl_->pending.HandleOpened(value);
  return value;
}

std::uint32_t SimulatedUsbBus::Close(DriverHandle handle) {
  Impl::Handle closed;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const auto found = impl_->handles.find(handle);
    if (found == impl_->handles.end()) return platform::kErrorInvalidHandle;
    closed = found->second;
    impl_->handles.erase(found);
  }
  impl_->pending.HandleClosed(handle);
  closed.device->state_->CloseHandle();
  return 0;
}

std::uint32_t SimulatedUsbBus::IoControl(DriverHandle handle, std::uint32_t code, const void* in,
                                         std::uint32_t in_size, void* out,
                                         std::uint32_t out_size, std::uint32_t* returned,
                                         platform::DriverOverlapped* overlapped) {
  std::uint32_t ignored = 0;
  if (returned == nullptr) returned = &ignored;
  *returned = 0;
  Impl::Handle target;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const auto found = impl_->handles.find(handle);
    if (found != impl_->handles.end()) target = found->second;
  }
  if (target.device == nullptr || target.driver == Driver::kLegacyEzusb) {
    // The legacy driver knows synchronous requests only; one given an overlapped structure
    // has ended by the time the call returns.
    const std::uint32_t error =
        target.device == nullptr
            ? platform::kErrorInvalidHandle
            : LegacyEzusbRequest(*target.device->state_, target.device->profile(), code, in,
                                 in_size, out, out_size, returned);
    if (overlapped != nullptr) {
      overlapped->Start();
      overlapped->Complete(error, *returned);
    }
    return error;
  }
  CyUsbTarget cyusb;
  cyusb.handle = handle;
  cyusb.device = target.device->state_.get();
  cyusb.profile = &target.device->profile();
  cyusb.address = static_cast<std::uint8_t>(target.index % 127 + 1);
  return impl_->cyusb_driver.Request(cyusb, code, in, in_size, out, out_size, returned,
                                     overlapped);
}

std::uint32_t SimulatedUsbBus::DeviceLocation(const std::string& path, std::string* location) {
  if (location == nullptr) return platform::kErrorInvalidParameter;
  location->clear();
  std::lock_guard<std::mutex> lock(impl_->mutex);
  std::uint16_t legacy_index = 0;
  if (ParseLegacyName(path, &legacy_index)) {
    const auto found = impl_->legacy.find(legacy_index);
    if (found == impl_->legacy.end() || !found->second->Plugged()) {
      return platform::kErrorFileNotFound;
    }
    *location = BusPath(Driver::kLegacyEzusb, found->second->profile(), legacy_index);
    return 0;
  }
  for (const auto& [index, device] : impl_->cyusb) {
    if (device->Plugged() && MemberPath(device->profile(), index) == path) {
      *location = BusPath(Driver::kCyUsb, device->profile(), index);
      return 0;
    }
  }
  return platform::kErrorFileNotFound;
}

}  // namespace flashwright::usbsim
