#include "usb_update/usb_device_location.h"

#include <cstdio>

#include "platform/usb_driver_io.h"
#include "platform/usb_driver_requests.h"

namespace flashwright {
namespace {

// The name of device `index` for the driver in use; false when there is no such device.
bool PathFor(bool legacy, std::uint16_t index, std::string* path) {
  if (legacy) {
    char name[32] = {};
    std::snprintf(name, sizeof name, platform::kEzusbDeviceNameFormat, static_cast<short>(index));
    *path = name;
    return true;
  }
  return platform::CurrentUsbDriverIo().InterfaceMemberPath(platform::kCyUsbInterfaceClass, index,
                                                            path) == 0;
}

}  // namespace

UsbError UsbDevicePath(std::uint16_t index, std::string* path) {
  path->clear();
  if (index >= kUsbIndexLimit) return kUsbBadIndex;
  return PathFor(UsbLegacyDriverPresent(), index, path) ? 0 : kUsbOpenFailed;
}

UsbError UsbDeviceLocation(std::uint16_t index, std::string* location) {
  location->clear();
  std::string path;
  if (const UsbError found = UsbDevicePath(index, &path); found != 0) return found;
  const std::uint32_t result = platform::CurrentUsbDriverIo().DeviceLocation(path, location);
  if (result == platform::kErrorFileNotFound) return kUsbOpenFailed;
  return static_cast<UsbError>(result);
}

std::uint16_t UsbFindDeviceAt(const std::string& location, UsbError* error) {
  *error = kUsbOpenFailed;
  const bool legacy = UsbLegacyDriverPresent();
  platform::UsbDriverIo& io = platform::CurrentUsbDriverIo();
  for (std::uint16_t index = 0; index < kUsbIndexLimit; ++index) {
    std::string path;
    // The CyUSB class has no gaps: its members end at the first index that has none.
    if (!PathFor(legacy, index, &path)) break;
    std::string here;
    const std::uint32_t result = io.DeviceLocation(path, &here);
    if (result == platform::kErrorNotSupported) {
      *error = static_cast<UsbError>(result);
      break;
    }
    if (result == 0 && here == location) {
      *error = 0;
      return index;
    }
  }
  return kUsbNoDevice;
}

}  // namespace flashwright
