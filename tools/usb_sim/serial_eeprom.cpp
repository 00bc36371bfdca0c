#include "tools/usb_sim/serial_eeprom.h"

#include <algorithm>

namespace flashwright::usbsim {

SerialEeprom::SerialEeprom(const EepromTiming& timing, std::uint8_t first_byte)
    : timing_(timing), bytes_(kEepromSize, 0xFF) {
  bytes_[0] = first_byte;
}

bool SerialEeprom::InRange(std::uint32_t address, std::uint32_t length) {
  return address <= kEepromSize && length <= kEepromSize - address;
}

std::uint32_t SerialEeprom::PagesTouched(std::uint32_t address, std::uint32_t length,
                                         std::uint32_t page_size) {
  if (length == 0) return 0;
  if (page_size == 0) page_size = 1;
  const std::uint64_t last = static_cast<std::uint64_t>(address) + length - 1;
  return static_cast<std::uint32_t>(last / page_size - address / page_size + 1);
}

std::chrono::nanoseconds SerialEeprom::WriteTime(std::uint32_t address,
                                                 std::uint32_t length) const {
  return PagesTouched(address, length, timing_.page_size) *
             std::chrono::duration_cast<std::chrono::nanoseconds>(timing_.page_write) +
         ReadTime(length);
}

std::chrono::nanoseconds SerialEeprom::ReadTime(std::uint32_t length) const {
  return static_cast<std::int64_t>(length) * timing_.byte_transfer;
}

void SerialEeprom::Write(std::uint32_t address, const std::uint8_t* data, std::uint32_t length) {
  const std::uint32_t end = address + length;
  const std::uint32_t stored_end = std::clamp(protected_from_, address, end);
  std::copy(data, data + (stored_end - address), bytes_.begin() + address);
}

void SerialEeprom::Read(std::uint32_t address, std::uint8_t* out, std::uint32_t length) const {
  std::copy_n(bytes_.begin() + address, length, out);
}

void SerialEeprom::Load(const std::vector<std::uint8_t>& contents) {
  const std::size_t count = std::min<std::size_t>(contents.size(), bytes_.size());
  std::copy_n(contents.begin(), count, bytes_.begin());
}

}  // namespace flashwright::usbsim
