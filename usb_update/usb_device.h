// Access to EZ-USB based USB devices: one process-wide current device, opened by index through
// whichever of the two kernel drivers is present (the legacy EZ-USB driver when its device 0
// can be opened, else the CyUSB driver), its identity, and its serial EEPROM read and written
// with vendor request 0xA2.
//
// Every operation returns a UsbError: 0, a positive system error code, or a negative code of
// this layer. Nothing here shows anything to the user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/usb_driver_io.h"

namespace flashwright {

class CCyDriverDevice;

using UsbError = std::int32_t;

inline constexpr UsbError kUsbEmpty = -1;        // zero data bytes; an image of 4 bytes or less
inline constexpr UsbError kUsbNoMemory = -2;     // no buffer for the whole image
inline constexpr UsbError kUsbNotOpen = -3;      // no current device
inline constexpr UsbError kUsbAlreadyOpen = -6;  // an open while a device is open
inline constexpr UsbError kUsbOpenFailed = -9;   // the device at that index cannot be opened
inline constexpr UsbError kUsbBadIndex = -11;    // device index 256 or higher
inline constexpr UsbError kUsbDeviceFault = -12; // the data of a vendor request begins DE AD
inline constexpr UsbError kUsbTooLarge = -13;    // an image longer than 65535 bytes

// Positive codes of this layer on the CyUSB path, and the two that mean the device is gone.
inline constexpr UsbError kUsbTransferFailed = 31;   // a control transfer failed
inline constexpr UsbError kUsbNoControlEndpoint = 50;
inline constexpr UsbError kUsbDeviceNotConnected = 1167;
inline constexpr UsbError kUsbDeviceRemoved = 1617;

inline constexpr std::uint16_t kUsbNoDevice = 0xFFFF;  // UsbFindNextDevice: none found
inline constexpr std::uint16_t kUsbIndexLimit = 256;   // indexes 0 to 255

// The EEPROM vendor request.
inline constexpr std::uint8_t kEepromRequest = 0xA2;
inline constexpr std::uint8_t kDirectionOut = 0;  // host to device (write)
inline constexpr std::uint8_t kDirectionIn = 1;   // device to host (read)

bool UsbIsDeviceGone(UsbError code);

// The code for logs and diagnostics: "usb already open (-6)", "usb transfer failed (31)",
// "system error 5", "success (0)". Never empty.
std::string UsbErrorName(UsbError code);

// True when the legacy driver's device 0 can be opened (it is closed again at once).
bool UsbLegacyDriverPresent();

UsbError UsbOpenDevice(std::uint16_t index);
UsbError UsbCloseDevice();
// The lowest openable index after `previous` (from 0 when it is negative), or kUsbNoDevice.
std::uint16_t UsbFindNextDevice(std::int16_t previous);
// "Ezusb-%hd" or "Cyusb-%hd" into `text` (at most size - 1 characters); kUsbBadIndex for
// index 256 or more, with the text left empty.
UsbError UsbDeviceName(std::uint16_t index, char* text, std::size_t size);

UsbError UsbGetIds(std::uint16_t* vendor_id, std::uint16_t* product_id);
UsbError UsbGetProductString(char* text, std::size_t size);
UsbError UsbReadFirstByte(std::uint8_t* first_byte);
UsbError UsbGetDriverVersion(std::uint16_t* major, std::uint16_t* minor, std::uint16_t* build,
                             bool* has_revision, std::uint16_t* revision);
UsbError UsbEepromWrite(std::uint16_t address, const std::uint8_t* data, std::uint32_t length);
UsbError UsbEepromRead(std::uint16_t address, std::uint8_t* data, std::uint32_t length);

// ---- Internal operations, open to the update engine and to tests.

// Opens the device at `index` without touching the current device.
UsbError UsbOpenAt(std::uint16_t index, platform::DriverHandle* handle,
                   std::unique_ptr<CCyDriverDevice>* device, bool* no_more_devices);
// One vendor request on the current device, with one retry after a reset unless the device is
// gone, and the DE AD check.
UsbError UsbVendorRequest(std::uint8_t direction, std::uint8_t request, std::uint16_t value,
                          std::uint16_t index, std::uint8_t* data, std::uint32_t length);
UsbError UsbResetDevice();

// ---- The current device, for the layers above and for tests.
bool UsbCurrentDeviceIsOpen();
// The device object when the current device was opened through the CyUSB driver, else null.
CCyDriverDevice* UsbCurrentDeviceObject();

}  // namespace flashwright
