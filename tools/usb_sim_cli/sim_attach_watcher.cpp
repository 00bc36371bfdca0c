#include "tools/usb_sim_cli/sim_attach_watcher.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace flashwright::usbsim {
namespace {

// Far quicker than a person moves a cable, and cheap: one file test per device.
constexpr auto kLookInterval = std::chrono::milliseconds(20);

bool Exists(const std::string& file) {
  std::error_code ignored;
  return std::filesystem::exists(file, ignored);
}

}  // namespace

SimAttachWatcher::SimAttachWatcher(const std::vector<SimDeviceDescription>& devices,
                                   SimulatedUsbBus* bus)
    : bus_(bus) {
  for (const SimDeviceDescription& description : devices) {
    if (description.attached_while.empty()) continue;
    cables_.push_back({&description, Exists(description.attached_while)});
  }
  if (cables_.empty()) return;
  thread_ = std::thread([this] {
    while (!stop_) {
      Look();
      std::this_thread::sleep_for(kLookInterval);
    }
  });
}

SimAttachWatcher::~SimAttachWatcher() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void SimAttachWatcher::Look() {
  for (Cable& cable : cables_) {
    const SimDeviceDescription& description = *cable.description;
    SimulatedUsbDevice* device = bus_->Device(description.driver, description.index);
    if (device == nullptr) continue;
    const bool wanted = Exists(description.attached_while);
    if (!wanted && device->Plugged()) {
      device->Unplug();
    } else if (wanted && !device->Plugged()) {
      DeviceProfile profile = description.profile;
      if (cable.attached_before && !description.reattached_product.empty()) {
        profile.product = description.reattached_product;
      }
      const std::vector<std::uint8_t> eeprom = device->Eeprom();
      bus_->AddDevice(description.driver, description.index, profile).SetEeprom(eeprom);
      cable.attached_before = true;
    }
  }
}

}  // namespace flashwright::usbsim
