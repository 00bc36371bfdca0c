// USB firmware images for the tests of flashwright-cli usb: the EEPROM load-format byte, the
// IDs, a product marker with the product text, and filler that never starts a write block with
// the device's fault marker DE AD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace flashwright::cli_test {

struct UsbImageProfile {
  std::uint8_t first_byte = 0xC2;
  std::uint16_t vendor_id = 0x04B4;
  std::uint16_t product_id = 0x8613;
  std::string product_text = "Gate 1.2.3.5";  // after the marker; none when empty
  std::size_t size = 1000;
};

inline std::vector<std::uint8_t> BuildUsbImage(const UsbImageProfile& profile) {
  std::vector<std::uint8_t> image(profile.size);
  for (std::size_t i = 0; i < image.size(); ++i) {
    image[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8) + 3) & 0xFF);
  }
  const std::uint8_t header[5] = {profile.first_byte,
                                  static_cast<std::uint8_t>(profile.vendor_id & 0xFF),
                                  static_cast<std::uint8_t>(profile.vendor_id >> 8),
                                  static_cast<std::uint8_t>(profile.product_id & 0xFF),
                                  static_cast<std::uint8_t>(profile.product_id >> 8)};
  for (std::size_t i = 0; i < sizeof header && i < image.size(); ++i) image[i] = header[i];
  if (!profile.product_text.empty()) {
    // The marker, two bytes that are skipped, the text and its terminator, all UTF-16LE.
    std::vector<std::uint8_t> text;
    for (char c : std::string("Orvane Folio Systems")) {
      text.push_back(static_cast<std::uint8_t>(c));
      text.push_back(0);
    }
    text.push_back(0x20);
    text.push_back(0);
    for (char c : profile.product_text) {
      text.push_back(static_cast<std::uint8_t>(c));
      text.push_back(0);
    }
    text.push_back(0);
    text.push_back(0);
    constexpr std::size_t kTextAt = 64;
    for (std::size_t i = 0; i < text.size() && kTextAt + i < image.size(); ++i) {
      image[kTextAt + i] = text[i];
    }
  }
  return image;
}

}  // namespace flashwright::cli_test
