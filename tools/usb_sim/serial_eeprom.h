// The device's 64 KiB serial EEPROM (24LC512 class) and the time its accesses take: a write is
// stored page by page, each page touched costing one page-write cycle, and every byte crosses
// the I2C bus. Not thread-safe; the device guards it.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "tools/usb_sim/simulated_usb.h"

namespace flashwright::usbsim {

class SerialEeprom {
 public:
  SerialEeprom(const EepromTiming& timing, std::uint8_t first_byte);

  // True when bytes address .. address + length - 1 all exist.
  static bool InRange(std::uint32_t address, std::uint32_t length);
  // The pages a write of `length` bytes at `address` touches (each costs a page-write cycle).
  static std::uint32_t PagesTouched(std::uint32_t address, std::uint32_t length,
                                    std::uint32_t page_size);

  std::chrono::nanoseconds WriteTime(std::uint32_t address, std::uint32_t length) const;
  std::chrono::nanoseconds ReadTime(std::uint32_t length) const;

  // The range must be InRange. Bytes at or past the write-protect address keep their value.
  void Write(std::uint32_t address, const std::uint8_t* data, std::uint32_t length);
  void Read(std::uint32_t address, std::uint8_t* out, std::uint32_t length) const;

  void WriteProtectFrom(std::uint32_t address) { protected_from_ = address; }
  const std::vector<std::uint8_t>& Contents() const { return bytes_; }
  void Load(const std::vector<std::uint8_t>& contents);

 private:
  EepromTiming timing_;
  std::vector<std::uint8_t> bytes_;
  std::uint32_t protected_from_ = kEepromSize;
};

}  // namespace flashwright::usbsim
