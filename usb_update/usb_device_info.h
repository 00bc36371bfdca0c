// What the USB update view's device information box says about a device, and what the
// compatibility check needs to know of it: the device is opened, its product string, IDs and
// first EEPROM byte (and, on request, its driver version) are read, and it is closed again.
// The windowed program and the command line both read a device this way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "usb_update/usb_compatibility.h"
#include "usb_update/usb_device.h"

namespace flashwright {

namespace usb_texts {
inline constexpr char kIdsLine[] = "[%hX][%hX][%hX]";
inline constexpr char kDriverVersion[] = "[Driver:%hu.%hu.%hu";
inline constexpr char kDriverRevision[] = ".%hu";
inline constexpr char kDeviceError[] = "(dev err %ld)";
inline constexpr char kError[] = "(error %ld)";
}  // namespace usb_texts

struct UsbDeviceReading {
  UsbDeviceInfo info;      // zeros and an empty product string where nothing could be read
  std::string text;        // the device information box's text
  UsbError result = 0;     // of opening the device or reading its product string
  bool has_driver_version = false;  // read only when detailed
  std::uint16_t driver_major = 0;
  std::uint16_t driver_minor = 0;
  std::uint16_t driver_build = 0;
  bool has_revision = false;
  std::uint16_t driver_revision = 0;
};

// Reads the device at `index` (none for a negative index). The product string is the text;
// `detailed` (the control key held, in the view) adds the line "[vendor][product][first byte]"
// and, when the driver version can be read, "[Driver:major.minor.build(.revision)]". A failure
// of the open or of the product string replaces the text with "(error %ld)", or with
// "(dev err %ld)" and -code - 32 for a code below -32. The device is closed afterwards; a
// device that another open holds answers kUsbAlreadyOpen.
UsbDeviceReading ReadUsbDevice(std::int32_t index, bool detailed);

// The indexes of the devices that can be opened now, lowest first: UsbFindNextDevice from the
// start until it finds no more.
std::vector<std::uint16_t> ListUsbDevices();

}  // namespace flashwright
