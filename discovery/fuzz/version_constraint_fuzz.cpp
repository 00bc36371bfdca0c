// Constraint strings of any content, against a version taken from the input's first bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "discovery/find_reader.h"

using flashwright::CFindReader;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::uint32_t version = data[0] << 24 | data[1] << 16 | data[2] << 8 |
                                static_cast<std::uint32_t>(data[3]);
  std::string_view constraint(reinterpret_cast<const char*>(data + 4), size - 4);
  const bool match = CFindReader::MatchVersionConstraint(version, constraint);
  // A constraint sees only the low 24 bits: the family byte never changes the answer.
  if (CFindReader::MatchVersionConstraint(version & 0xFFFFFF, constraint) != match) {
    __builtin_trap();
  }
  // "G" and "L" of the same components never both match.
  if (!constraint.empty() && (constraint[0] == 'G' || constraint[0] == 'L')) {
    std::string flipped(constraint);
    flipped[0] = constraint[0] == 'G' ? 'L' : 'G';
    if (match && CFindReader::MatchVersionConstraint(version, flipped)) __builtin_trap();
  }
  const std::vector<std::string> list{std::string(constraint)};
  const int verdict = CFindReader::CheckReaderVersion(version, list, list);
  if (verdict < -1 || verdict > 1) __builtin_trap();
  if ((version >> 24) != 0x0A && verdict != -1) __builtin_trap();
  return 0;
}
