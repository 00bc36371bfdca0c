// Where a USB device is, beside the index by which the device access opens it: the name the
// driver layer knows it by, and its place on the system's buses ("1-3.2"), which stays the same
// while other devices come and go. Nothing here opens a device, apart from the legacy driver's
// presence test.
#pragma once

#include <cstdint>
#include <string>

#include "usb_update/usb_device.h"

namespace flashwright {

// The driver layer's name of the device at `index`: "\\.\Ezusb-<index>" when the legacy driver
// is present, else the path of member `index` of the CyUSB interface class. kUsbBadIndex for
// index 256 or more, kUsbOpenFailed when the class has no such member.
UsbError UsbDevicePath(std::uint16_t index, std::string* path);

// The bus path of the device at `index`: 0, kUsbBadIndex, kUsbOpenFailed (no device there), or
// the driver layer's code (platform::kErrorNotSupported where it cannot tell).
UsbError UsbDeviceLocation(std::uint16_t index, std::string* location);

// The index of the device at bus path `location` now, or kUsbNoDevice with `*error`
// kUsbOpenFailed (no device there) or the driver layer's code.
std::uint16_t UsbFindDeviceAt(const std::string& location, UsbError* error);

}  // namespace flashwright
