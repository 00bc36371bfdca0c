// Intel HEX text for the tests and benchmarks: the one writer they all use, checked against the
// program's own firmware parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace flashwright::test {

inline constexpr std::uint8_t kHexData = 0x00;
inline constexpr std::uint8_t kHexEndOfFile = 0x01;
inline constexpr std::uint8_t kHexExtendedLinearAddress = 0x04;

struct HexLine {
  std::uint16_t address = 0;
  std::uint8_t type = kHexData;
  std::vector<std::uint8_t> data;
};

// The checksum byte of a record: the two's complement of the sum of its other bytes.
std::uint8_t IntelHexChecksum(std::uint16_t address, std::uint8_t type,
                              const std::vector<std::uint8_t>& data);
// One record: ":" count address type data checksum in upper-case hexadecimal, the checksum
// correct, ended by "\r\n".
std::string IntelHexRecord(std::uint16_t address, std::uint8_t type,
                           const std::vector<std::uint8_t>& data);
// The records one after the other.
std::string IntelHexText(const std::vector<HexLine>& lines);
// `bytes` as data records of at most `per_record` bytes from address 0 on (at most 64 KiB),
// then the end-of-file record; without a line end after it when `end_line` is false.
std::string IntelHexImage(const std::vector<std::uint8_t>& bytes, std::size_t per_record = 16,
                          bool end_line = true);

}  // namespace flashwright::test
