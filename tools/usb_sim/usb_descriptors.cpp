#include "tools/usb_sim/usb_descriptors.h"

#include "platform/usb_driver_requests.h"

namespace flashwright::usbsim {
namespace {

using platform::WriteLe16;

void AppendLe16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void AppendEndpoint(std::vector<std::uint8_t>& bytes, std::uint8_t address,
                    std::uint8_t attributes, std::uint16_t max_packet, std::uint8_t interval) {
  bytes.insert(bytes.end(), {7, 5, address, attributes});
  AppendLe16(bytes, max_packet);
  bytes.push_back(interval);
}

// UTF-8 to UTF-16. A byte that does not start a well-formed sequence stands for itself (as
// Latin-1), so that any text the tests give still makes a descriptor.
std::vector<std::uint16_t> ToUtf16(const std::string& text) {
  std::vector<std::uint16_t> units;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    std::uint32_t code = lead;
    std::size_t extra = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      code = lead & 0x1F;
      extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      code = lead & 0x0F;
      extra = 2;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      code = lead & 0x07;
      extra = 3;
    }
    bool well_formed = i + extra < text.size();
    for (std::size_t k = 1; well_formed && k <= extra; ++k) {
      const auto next = static_cast<std::uint8_t>(text[i + k]);
      well_formed = (next & 0xC0) == 0x80;
      code = code << 6 | (next & 0x3F);
    }
    if (!well_formed) {
      code = lead;
      extra = 0;
    }
    i += extra + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      units.push_back(static_cast<std::uint16_t>(0xD800 | code >> 10));
      units.push_back(static_cast<std::uint16_t>(0xDC00 | (code & 0x3FF)));
    } else {
      units.push_back(static_cast<std::uint16_t>(code));
    }
  }
  return units;
}

}  // namespace

std::vector<std::uint8_t> DeviceDescriptor(const DeviceProfile& profile) {
  std::vector<std::uint8_t> bytes(18);
  bytes[0] = 18;
  bytes[1] = kDescriptorTypeDevice;
  WriteLe16(&bytes[2], 0x0200);  // bcdUSB 2.0
  bytes[4] = 0;                  // class, subclass and protocol per interface
  bytes[5] = 0;
  bytes[6] = 0;
  bytes[7] = profile.max_packet_size0;
  WriteLe16(&bytes[8], profile.vendor_id);
  WriteLe16(&bytes[10], profile.product_id);
  WriteLe16(&bytes[12], profile.device_release);
  bytes[14] = profile.manufacturer.empty() ? 0 : kManufacturerStringIndex;
  bytes[15] = profile.product.empty() ? 0 : kProductStringIndex;
  bytes[16] = profile.serial_number.empty() ? 0 : kSerialNumberStringIndex;
  bytes[17] = 1;  // bNumConfigurations
  return bytes;
}

std::vector<std::uint8_t> ConfigurationDescriptor() {
  std::vector<std::uint8_t> bytes = {9, kDescriptorTypeConfiguration, 0, 0,
                                     1,     // bNumInterfaces
                                     1,     // bConfigurationValue
                                     0,     // iConfiguration
                                     0x80,  // bus powered
                                     50};   // 100 mA
  // Interface 0, alternate setting 0, three endpoints, vendor-specific class.
  bytes.insert(bytes.end(), {9, 4, 0, 0, 3, 0xFF, 0, 0, 0});
  AppendEndpoint(bytes, kBulkOutEndpoint, 2, 512, 0);
  AppendEndpoint(bytes, kBulkInEndpoint, 2, 512, 0);
  AppendEndpoint(bytes, kInterruptInEndpoint, 3, 64, 1);
  WriteLe16(&bytes[2], static_cast<std::uint16_t>(bytes.size()));
  return bytes;
}

std::vector<std::uint8_t> LanguageListDescriptor(const std::vector<std::uint16_t>& languages) {
  std::vector<std::uint8_t> bytes = {0, kDescriptorTypeString};
  for (std::uint16_t language : languages) {
    if (bytes.size() + 2 > 255) break;
    AppendLe16(bytes, language);
  }
  bytes[0] = static_cast<std::uint8_t>(bytes.size());
  return bytes;
}

std::vector<std::uint8_t> StringDescriptor(const std::string& text) {
  std::vector<std::uint8_t> bytes = {0, kDescriptorTypeString};
  for (std::uint16_t unit : ToUtf16(text)) {
    if (bytes.size() + 2 > 255) break;
    AppendLe16(bytes, unit);
  }
  bytes[0] = static_cast<std::uint8_t>(bytes.size());
  return bytes;
}

}  // namespace flashwright::usbsim
