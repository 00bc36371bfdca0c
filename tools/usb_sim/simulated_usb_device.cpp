#include "tools/usb_sim/device_firmware.h"
#include "tools/usb_sim/simulated_usb.h"

#include <utility>

namespace flashwright::usbsim {

SimulatedUsbDevice::SimulatedUsbDevice(Driver driver, DeviceProfile profile)
    : driver_(driver), profile_(std::move(profile)), state_(std::make_unique<State>(profile_)) {}

SimulatedUsbDevice::~SimulatedUsbDevice() = default;

std::vector<std::uint8_t> SimulatedUsbDevice::Eeprom() const { return state_->Eeprom(); }

void SimulatedUsbDevice::SetEeprom(const std::vector<std::uint8_t>& contents) {
  state_->SetEeprom(contents);
}

DeviceCounters SimulatedUsbDevice::Counters() const { return state_->Counters(); }

void SimulatedUsbDevice::ResetCounters() { state_->ResetCounters(); }

std::chrono::nanoseconds SimulatedUsbDevice::ModelledTime() const {
  return state_->ModelledTime();
}

void SimulatedUsbDevice::FailWrites(std::uint32_t nth, std::uint32_t count, std::uint32_t code) {
  state_->FailWrites(nth, count, code);
}

void SimulatedUsbDevice::AnswerDeadMarker(bool on) { state_->AnswerDeadMarker(on); }

void SimulatedUsbDevice::ShortenVendorRequests(std::uint32_t count, std::uint32_t moved,
                                               std::uint32_t after) {
  state_->ShortenVendorRequests(count, moved, after);
}

void SimulatedUsbDevice::StallVendorRequests(std::uint32_t count) {
  state_->StallVendorRequests(count);
}

void SimulatedUsbDevice::UnplugAfterBytes(std::uint32_t bytes) { state_->UnplugAfterBytes(bytes); }

void SimulatedUsbDevice::NeverCompleteRequests(std::uint32_t count,
                                               std::chrono::milliseconds legacy_limit) {
  state_->NeverCompleteRequests(count, legacy_limit);
}

void SimulatedUsbDevice::WriteProtectFrom(std::uint32_t address) {
  state_->WriteProtectFrom(address);
}

void SimulatedUsbDevice::RefuseOpen(bool on) { state_->RefuseOpen(on); }

void SimulatedUsbDevice::Unplug() { state_->Unplug(); }

bool SimulatedUsbDevice::Plugged() const { return state_->Plugged(); }

}  // namespace flashwright::usbsim
