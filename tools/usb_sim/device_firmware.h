// The simulated device itself: an EZ-USB whose EEPROM firmware answers control requests on
// endpoint 0 (standard descriptor requests and vendor request 0xA2 on the serial EEPROM), with
// its failures on demand and the counters tests read. Both driver flavours hand it setup
// packets; what it answers is the same for both. Thread-safe: the driver layer calls it from a
// worker thread while tests read and steer it from theirs.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/usb_driver_requests.h"
#include "tools/usb_sim/serial_eeprom.h"
#include "tools/usb_sim/simulated_usb.h"

namespace flashwright::usbsim {

inline constexpr std::uint8_t kEepromRequest = 0xA2;

// The system's access-denied code: what opening a device that refuses to be opened gives.
inline constexpr std::uint32_t kErrorAccessDenied = 5;

// How the device dealt with one control request.
enum class DeviceReply {
  kDone,    // answered; data stage of `moved` bytes
  kStall,   // endpoint 0 answered STALL
  kGone,    // the device is not (or no longer) on the bus
  kFailed,  // the request failed with the system error `code` (failure on demand)
  kNever,   // the device never answers
};

struct DeviceAnswer {
  DeviceReply reply = DeviceReply::kDone;
  std::uint32_t code = 0;
  std::vector<std::uint8_t> data;  // the data stage of a device-to-host request
  std::uint32_t moved = 0;         // bytes of the data stage, either direction
  // When the device has answered; the clock's epoch unless the timing runs in real time.
  std::chrono::steady_clock::time_point ready{};
  std::chrono::milliseconds legacy_limit{0};  // kNever: when the legacy driver gives up
};

class DeviceFirmware {
 public:
  explicit DeviceFirmware(const DeviceProfile& profile);
  DeviceFirmware(const DeviceFirmware&) = delete;
  DeviceFirmware& operator=(const DeviceFirmware&) = delete;

  // One control request. `host_data` holds the setup's wLength bytes of a host-to-device
  // request (may be null when wLength is 0) and is read before this returns.
  DeviceAnswer Control(const platform::SetupPacket& setup, const std::uint8_t* host_data);

  // A handle to the device: 0, kErrorFileNotFound when it is gone, access denied when refused.
  std::uint32_t OpenHandle();
  void CloseHandle();
  // Pipe reset and abort as the driver passes them on; false when the device is gone.
  bool Reset();
  bool Abort();

  bool Plugged() const;
  void Unplug();
  // Called (outside the device's lock) whenever the device leaves the bus.
  void SetUnplugNotice(std::function<void()> notice);

  std::vector<std::uint8_t> Eeprom() const;
  void SetEeprom(const std::vector<std::uint8_t>& contents);
  DeviceCounters Counters() const;
  void ResetCounters();
  std::chrono::nanoseconds ModelledTime() const;

  void FailWrites(std::uint32_t nth, std::uint32_t count, std::uint32_t code);
  void AnswerDeadMarker(bool on);
  void StallVendorRequests(std::uint32_t count);
  void ShortenVendorRequests(std::uint32_t count, std::uint32_t moved, std::uint32_t after);
  void UnplugAfterBytes(std::uint32_t bytes);
  void NeverCompleteRequests(std::uint32_t count, std::chrono::milliseconds legacy_limit);
  void WriteProtectFrom(std::uint32_t address);
  void RefuseOpen(bool on);

 private:
  DeviceAnswer ControlLocked(const platform::SetupPacket& setup, const std::uint8_t* host_data,
                             bool* unplugged_now);
  DeviceAnswer StandardRequest(const platform::SetupPacket& setup) const;
  DeviceAnswer EepromRequest(const platform::SetupPacket& setup, const std::uint8_t* host_data,
                             bool* unplugged_now);
  std::chrono::steady_clock::time_point Occupy(std::chrono::nanoseconds cost);

  const EepromTiming timing_;
  const std::vector<std::uint16_t> languages_;
  const std::vector<std::uint8_t> device_descriptor_;
  const std::vector<std::uint8_t> configuration_descriptor_;
  const std::vector<std::uint8_t> strings_[4];  // index 1-3; 0 unused (the language list)

  mutable std::mutex mutex_;
  SerialEeprom eeprom_;
  DeviceCounters counters_;
  std::chrono::nanoseconds modelled_time_{0};
  std::chrono::steady_clock::time_point busy_until_{};
  bool plugged_ = true;
  bool refuse_open_ = false;
  std::function<void()> unplug_notice_;

  // Failures on demand.
  std::uint64_t write_requests_ = 0;  // EEPROM write requests that reached the device
  std::uint64_t fail_from_ = 0;       // write request numbers that fail: [fail_from_, fail_to_)
  std::uint64_t fail_to_ = 0;
  std::uint32_t fail_code_ = 0;
  bool dead_marker_ = false;
  std::uint32_t stalls_left_ = 0;
  std::uint32_t short_after_ = 0;
  std::uint32_t short_left_ = 0;
  std::uint32_t short_moved_ = 0;
  bool unplug_armed_ = false;
  std::uint64_t unplug_limit_ = 0;
  std::uint64_t written_since_armed_ = 0;
  std::uint32_t never_left_ = 0;
  std::chrono::milliseconds legacy_limit_{200};
};

// The device object's hidden state is its firmware.
struct SimulatedUsbDevice::State : DeviceFirmware {
  using DeviceFirmware::DeviceFirmware;
};

}  // namespace flashwright::usbsim
