// The standard USB descriptors the simulated device's firmware answers GET_DESCRIPTOR with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/usb_sim/simulated_usb.h"

namespace flashwright::usbsim {

// String descriptor indexes of the device descriptor. The product string sits at index 2 like
// on the real devices: the legacy driver's string request asks for that index directly.
inline constexpr std::uint8_t kManufacturerStringIndex = 1;
inline constexpr std::uint8_t kProductStringIndex = 2;
inline constexpr std::uint8_t kSerialNumberStringIndex = 3;

// The endpoints of the single interface besides endpoint 0.
inline constexpr std::uint8_t kBulkOutEndpoint = 0x02;
inline constexpr std::uint8_t kBulkInEndpoint = 0x86;
inline constexpr std::uint8_t kInterruptInEndpoint = 0x81;

inline constexpr std::uint8_t kDescriptorTypeDevice = 1;
inline constexpr std::uint8_t kDescriptorTypeConfiguration = 2;
inline constexpr std::uint8_t kDescriptorTypeString = 3;

// The 18-byte device descriptor; a string index is 0 when the device has no such string.
std::vector<std::uint8_t> DeviceDescriptor(const DeviceProfile& profile);

// Configuration 1 with its interface and endpoint descriptors, wTotalLength covering them all.
std::vector<std::uint8_t> ConfigurationDescriptor();

// String descriptor 0: the list of language IDs.
std::vector<std::uint8_t> LanguageListDescriptor(const std::vector<std::uint16_t>& languages);

// A string descriptor holding `text` (UTF-8) as UTF-16LE. bLength is one byte, so the text is
// cut after 126 UTF-16 units.
std::vector<std::uint8_t> StringDescriptor(const std::string& text);

}  // namespace flashwright::usbsim
