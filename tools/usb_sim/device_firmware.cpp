#include "tools/usb_sim/device_firmware.h"

#include <algorithm>
#include <utility>

#include "platform/usb_driver_io.h"
#include "tools/usb_sim/usb_descriptors.h"

namespace flashwright::usbsim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kStandardDeviceIn = 0x80;
constexpr std::uint8_t kStandardDeviceOut = 0x00;
constexpr std::uint8_t kVendorDeviceOut = 0x40;
constexpr std::uint8_t kVendorDeviceIn = 0xC0;

constexpr std::uint8_t kGetStatus = 0;
constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint8_t kGetConfiguration = 8;
constexpr std::uint8_t kSetConfiguration = 9;

DeviceAnswer Reply(DeviceReply reply) {
  DeviceAnswer answer;
  answer.reply = reply;
  return answer;
}

// A descriptor request answers at most wLength bytes, like any device does: hosts read the
// first bytes to learn the full length and then ask again.
DeviceAnswer Descriptor(const std::vector<std::uint8_t>& descriptor, std::uint16_t length) {
  DeviceAnswer answer;
  const std::size_t count = std::min<std::size_t>(descriptor.size(), length);
  answer.data.assign(descriptor.begin(), descriptor.begin() + static_cast<std::ptrdiff_t>(count));
  answer.moved = static_cast<std::uint32_t>(count);
  return answer;
}

}  // namespace

DeviceFirmware::DeviceFirmware(const DeviceProfile& profile)
    : timing_(profile.timing),
      languages_(profile.languages),
      device_descriptor_(DeviceDescriptor(profile)),
      configuration_descriptor_(ConfigurationDescriptor()),
      strings_{{},
               profile.manufacturer.empty() ? std::vector<std::uint8_t>{}
                                         : StringDescriptor(profile.manufacturer),
               profile.product.empty() ? std::vector<std::uint8_t>{} : StringDescriptor(profile.product),
               profile.serial_number.empty() ? std::vector<std::uint8_t>{}
                                          : StringDescriptor(profile.serial_number)},
      eeprom_(profile.timing, profile.first_byte) {}

DeviceAnswer DeviceFirmware::Control(const platform::SetupPacket& setup,
                                     const std::uint8_t* host_data) {
  bool unplugged_now = false;
  DeviceAnswer answer;
  std::function<void()> notice;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    answer = ControlLocked(setup, host_data, &unplugged_now);
    if (unplugged_now) notice = unplug_notice_;
  }
  if (notice) notice();
  return answer;
}

DeviceAnswer DeviceFirmware::ControlLocked(const platform::SetupPacket& setup,
                                           const std::uint8_t* host_data, bool* unplugged_now) {
  // Every request the driver sends is recorded, also those that find the device gone, so that
  // tests can count attempts and retries.
  counters_.last_setup = setup;
  counters_.setups.push_back(setup);
  if (!plugged_) return Reply(DeviceReply::kGone);

  if (setup.request == kEepromRequest &&
      (setup.request_type == kVendorDeviceOut || setup.request_type == kVendorDeviceIn)) {
    return EepromRequest(setup, host_data, unplugged_now);
  }
  if (setup.request_type == kStandardDeviceIn) return StandardRequest(setup);
  if (setup.request_type == kStandardDeviceOut && setup.request == kSetConfiguration &&
      setup.value <= 1 && setup.length == 0) {
    return Reply(DeviceReply::kDone);
  }
  return Reply(DeviceReply::kStall);
}

DeviceAnswer DeviceFirmware::StandardRequest(const platform::SetupPacket& setup) const {
  if (setup.request == kGetStatus) return Descriptor({0, 0}, setup.length);  // bus powered
  if (setup.request == kGetConfiguration) return Descriptor({1}, setup.length);
  if (setup.request != kGetDescriptor) return Reply(DeviceReply::kStall);

  const auto type = static_cast<std::uint8_t>(setup.value >> 8);
  const auto index = static_cast<std::uint8_t>(setup.value);
  if (type == kDescriptorTypeDevice && index == 0) {
    return Descriptor(device_descriptor_, setup.length);
  }
  if (type == kDescriptorTypeConfiguration && index == 0) {
    return Descriptor(configuration_descriptor_, setup.length);
  }
  if (type == kDescriptorTypeString) {
    if (index == 0) {
      if (languages_.empty()) return Reply(DeviceReply::kStall);
      return Descriptor(LanguageListDescriptor(languages_), setup.length);
    }
    // Like most EZ-USB firmware, the strings exist in one language only and wIndex is not
    // looked at.
    if (index < 4 && !strings_[index].empty()) return Descriptor(strings_[index], setup.length);
  }
  return Reply(DeviceReply::kStall);
}

DeviceAnswer DeviceFirmware::EepromRequest(const platform::SetupPacket& setup,
                                           const std::uint8_t* host_data, bool* unplugged_now) {
  const bool write = setup.request_type == kVendorDeviceOut;
  const std::uint32_t address = setup.value;
  const std::uint32_t length = setup.length;

  if (write && unplug_armed_ && written_since_armed_ + length > unplug_limit_) {
    plugged_ = false;
    *unplugged_now = true;
    return Reply(DeviceReply::kGone);
  }

  ++counters_.vendor_requests;
  const std::uint64_t write_number = write ? ++write_requests_ : 0;
  if (never_left_ > 0) {
    --never_left_;
    DeviceAnswer answer = Reply(DeviceReply::kNever);
    answer.legacy_limit = legacy_limit_;
    return answer;
  }
  if (stalls_left_ > 0) {
    --stalls_left_;
    return Reply(DeviceReply::kStall);
  }
  // The firmware checks the range before it touches the EEPROM: a request that would run past
  // its end is refused whole rather than wrapped around or cut short.
  if (!SerialEeprom::InRange(address, length)) return Reply(DeviceReply::kStall);
  if (write && write_number >= fail_from_ && write_number < fail_to_) {
    DeviceAnswer answer = Reply(DeviceReply::kFailed);
    answer.code = fail_code_;
    return answer;
  }

  DeviceAnswer answer;
  std::uint32_t moved = length;
  if (short_after_ > 0) {
    --short_after_;
  } else if (short_left_ > 0) {
    --short_left_;
    moved = std::min(moved, short_moved_);
  }
  answer.moved = moved;
  std::chrono::nanoseconds cost;
  if (write) {
    if (moved > 0) {
      eeprom_.Write(address, host_data, moved);
      ++counters_.eeprom_writes;
      counters_.eeprom_bytes_written += moved;
      written_since_armed_ += moved;
    }
    cost = eeprom_.WriteTime(address, length);
  } else {
    answer.data.resize(moved);
    eeprom_.Read(address, answer.data.data(), moved);
    if (dead_marker_) {
      static constexpr std::uint8_t kMarker[2] = {0xDE, 0xAD};
      std::copy_n(kMarker, std::min<std::uint32_t>(length, 2), answer.data.begin());
    }
    cost = eeprom_.ReadTime(length);
  }
  modelled_time_ += cost;
  answer.ready = Occupy(cost);
  return answer;
}

// The device works on one request at a time: a request that arrives while it is still busy
// with the previous one is answered after that one.
Clock::time_point DeviceFirmware::Occupy(std::chrono::nanoseconds cost) {
  if (!timing_.real_time) return {};
  busy_until_ = std::max(Clock::now(), busy_until_) + cost;
  return busy_until_;
}

std::uint32_t DeviceFirmware::OpenHandle() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!plugged_) return platform::kErrorFileNotFound;
  if (refuse_open_) return kErrorAccessDenied;
  ++counters_.opens;
  ++counters_.open_handles;
  return 0;
}

void DeviceFirmware::CloseHandle() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (counters_.open_handles > 0) --counters_.open_handles;
}

bool DeviceFirmware::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!plugged_) return false;
  ++counters_.resets;
  return true;
}

bool DeviceFirmware::Abort() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!plugged_) return false;
  ++counters_.aborts;
  return true;
}

bool DeviceFirmware::Plugged() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return plugged_;
}

void DeviceFirmware::Unplug() {
  std::function<void()> notice;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!plugged_) return;
    plugged_ = false;
    notice = unplug_notice_;
  }
  if (notice) notice();
}

void DeviceFirmware::SetUnplugNotice(std::function<void()> notice) {
  std::lock_guard<std::mutex> lock(mutex_);
  unplug_notice_ = std::move(notice);
}

std::vector<std::uint8_t> DeviceFirmware::Eeprom() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return eeprom_.Contents();
}

void DeviceFirmware::SetEeprom(const std::vector<std::uint8_t>& contents) {
  std::lock_guard<std::mutex> lock(mutex_);
  eeprom_.Load(contents);
}

DeviceCounters DeviceFirmware::Counters() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counters_;
}

void DeviceFirmware::ResetCounters() {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uint32_t open_handles = counters_.open_handles;  // a state, not a count
  counters_ = DeviceCounters{};
  counters_.open_handles = open_handles;
  modelled_time_ = std::chrono::nanoseconds(0);
}

std::chrono::nanoseconds DeviceFirmware::ModelledTime() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return modelled_time_;
}

void DeviceFirmware::FailWrites(std::uint32_t nth, std::uint32_t count, std::uint32_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  fail_from_ = write_requests_ + nth;
  fail_to_ = nth == 0 ? fail_from_ : fail_from_ + count;
  fail_code_ = code;
}

void DeviceFirmware::AnswerDeadMarker(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  dead_marker_ = on;
}

void DeviceFirmware::ShortenVendorRequests(std::uint32_t count, std::uint32_t moved,
                                           std::uint32_t after) {
  std::lock_guard<std::mutex> lock(mutex_);
  short_after_ = after;
  short_left_ = count;
  short_moved_ = moved;
}

void DeviceFirmware::StallVendorRequests(std::uint32_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  stalls_left_ = count;
}

void DeviceFirmware::UnplugAfterBytes(std::uint32_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  unplug_armed_ = true;
  unplug_limit_ = bytes;
  written_since_armed_ = 0;
}

void DeviceFirmware::NeverCompleteRequests(std::uint32_t count,
                                           std::chrono::milliseconds legacy_limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  never_left_ = count;
  legacy_limit_ = legacy_limit;
}

void DeviceFirmware::WriteProtectFrom(std::uint32_t address) {
  std::lock_guard<std::mutex> lock(mutex_);
  eeprom_.WriteProtectFrom(address);
}

void DeviceFirmware::RefuseOpen(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  refuse_open_ = on;
}

}  // namespace flashwright::usbsim
