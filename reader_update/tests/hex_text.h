// Test helpers: Intel HEX text built record by record, and an in-memory image source.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "reader_update/firmware_source.h"
#include "tools/test_support/intel_hex_text.h"

namespace flashwright::test {

// One record line, upper-case, with a correct checksum and "\r\n".
inline std::string HexRecord(std::uint16_t address, std::uint8_t type,
                             const std::vector<std::uint8_t>& data) {
  return IntelHexRecord(address, type, data);
}

inline std::string DataRecord(std::uint16_t address, const std::vector<std::uint8_t>& data) {
  return HexRecord(address, kRecordData, data);
}
inline std::string EndRecord() { return HexRecord(0, kRecordEndOfFile, {}); }
inline std::string ExtendedAddressRecord(std::uint16_t upper) {
  return HexRecord(0, kRecordExtendedLinearAddress,
                   {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
}

// An image header record: the start bytes 0C EF 00 F0, two bytes, the descriptor and one
// more byte. The descriptor holds the class in bits 6-7 and the platform in bits 3-5.
inline std::vector<std::uint8_t> HeaderData(std::uint8_t image_class, std::uint8_t platform) {
  return {0x0C, 0xEF, 0x00, 0xF0, 0x12, 0x34,
          static_cast<std::uint8_t>(image_class << 6 | (platform & 7) << 3), 0x00};
}

// Data records of 16 bytes from `address` on, `count` of them.
inline std::string Filler(std::uint16_t address, int count, std::uint8_t seed = 0) {
  std::string text;
  for (int r = 0; r < count; ++r) {
    std::vector<std::uint8_t> data(16);
    for (int i = 0; i < 16; ++i) data[i] = static_cast<std::uint8_t>(seed + r * 16 + i);
    text += DataRecord(static_cast<std::uint16_t>(address + r * 16), data);
  }
  return text;
}

// An image held in memory, read through the source's read function.
struct MemoryImage {
  std::string text;
  int calls = 0;
  std::uint64_t highest_offset_read = 0;  // one past the last byte asked for
  int fail_on_call = 0;                   // 1-based; 0 never
  LinkError failure = 5;

  std::uint32_t size() const { return static_cast<std::uint32_t>(text.size()); }

  static LinkError Read(const void* /*user*/, void* source, std::uint32_t offset,
                        std::uint32_t count, std::uint8_t* destination) {
    auto* image = static_cast<MemoryImage*>(source);
    ++image->calls;
    if (image->fail_on_call == image->calls) return image->failure;
    if (static_cast<std::uint64_t>(offset) + count > image->text.size()) return -99;
    std::memcpy(destination, image->text.data() + offset, count);
    if (offset + count > image->highest_offset_read) image->highest_offset_read = offset + count;
    return 0;
  }
};

}  // namespace flashwright::test
