// Finding the maker's USB reader among the present USB devices, and the serial port that its
// driver enumerates as a child.
#include <algorithm>
#include <cctype>

#include "platform/device_setup.h"
#include "platform/text_case.h"
#include "readerprobe/detect_reader.h"

namespace flashwright::probe {
namespace {

constexpr const char* kReaderHardwareId = "USB\\VID_7E51&PID_032A&REV_0400";
constexpr const char* kReaderPortHardwareId = "VID_7E51&PID_032A";

// Walks `set` to the first device that `matches` and reads `property` of it. A property that
// cannot be read ends the whole search.
template <typename Match>
int SearchDevices(const platform::DeviceSet& set, Match matches,
                  std::string platform::DeviceRecord::*property, std::string* out) {
  if (set.open_error != 0) return -3;
  for (const platform::DeviceRecord& device : set.devices) {
    if (device.hardware_id.empty()) return -4;
    if (!matches(device.hardware_id)) continue;
    const std::string& value = device.*property;
    if (value.empty()) return -4;
    *out = value.substr(0, kMaxNameChars);
    return 1;
  }
  return set.end_error != 0 ? -5 : 0;
}

}  // namespace

int FindUsbReaderService(std::string* service) {
  service->clear();
  return SearchDevices(
      platform::DevicesOfEnumerator("USB"),
      [](const std::string& id) { return SameIgnoringCase(id, kReaderHardwareId); },
      &platform::DeviceRecord::service, service);
}

int FindReaderPortName(const std::string& service, std::string* friendly_name) {
  friendly_name->clear();
  return SearchDevices(
      platform::DevicesOfEnumerator(service),
      [](const std::string& id) { return id.find(kReaderPortHardwareId) != std::string::npos; },
      &platform::DeviceRecord::friendly_name, friendly_name);
}

}  // namespace flashwright::probe
