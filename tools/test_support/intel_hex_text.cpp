#include "tools/test_support/intel_hex_text.h"

#include <algorithm>
#include <cstdio>

namespace flashwright::test {

std::uint8_t IntelHexChecksum(std::uint16_t address, std::uint8_t type,
                              const std::vector<std::uint8_t>& data) {
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFFu) + type;
  for (std::uint8_t byte : data) sum += byte;
  return static_cast<std::uint8_t>((0x100u - (sum & 0xFFu)) & 0xFFu);
}

std::string IntelHexRecord(std::uint16_t address, std::uint8_t type,
                           const std::vector<std::uint8_t>& data) {
  char field[16];
  std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(data.size() & 0xFF),
                static_cast<unsigned>(address), static_cast<unsigned>(type));
  std::string line = field;
  for (std::uint8_t byte : data) {
    std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(byte));
    line += field;
  }
  std::snprintf(field, sizeof field, "%02X\r\n",
                static_cast<unsigned>(IntelHexChecksum(address, type, data)));
  return line + field;
}

std::string IntelHexText(const std::vector<HexLine>& lines) {
  std::string text;
  for (const HexLine& line : lines) text += IntelHexRecord(line.address, line.type, line.data);
  return text;
}

std::string IntelHexImage(const std::vector<std::uint8_t>& bytes, std::size_t per_record,
                          bool end_line) {
  std::string text;
  per_record = std::clamp<std::size_t>(per_record, 1, 255);
  for (std::size_t address = 0; address < bytes.size() && address <= 0xFFFF; address += per_record) {
    const std::size_t count = std::min(per_record, bytes.size() - address);
    const std::vector<std::uint8_t> data(bytes.begin() + static_cast<std::ptrdiff_t>(address),
                                         bytes.begin() + static_cast<std::ptrdiff_t>(address + count));
    text += IntelHexRecord(static_cast<std::uint16_t>(address), kHexData, data);
  }
  std::string end = IntelHexRecord(0, kHexEndOfFile, {});
  if (!end_line) end.resize(end.size() - 2);
  return text + end;
}

}  // namespace flashwright::test
