#include "reader_tools/tool_entry.h"

#include "reader_tools/security_method.h"

namespace flashwright {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::uint8_t> ParseHexEntry(const std::string& text) {
  if (text.empty() || text.size() > static_cast<std::size_t>(kHexEntryMaxChars)) {
    return std::nullopt;
  }
  unsigned value = 0;
  for (char c : text) {
    int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<unsigned>(digit);
  }
  return static_cast<std::uint8_t>(value);
}

std::optional<SecuritySetting> ParseSecurityEntry(int position, const std::string& value_text) {
  std::uint8_t method = SecurityMethodAtPosition(position);
  if (method == kSecurityNone) return SecuritySetting{method, 0};
  std::optional<std::uint8_t> value = ParseHexEntry(value_text);
  if (!value) return std::nullopt;
  if (method == kSecurityEas && *value > 1) return std::nullopt;
  return SecuritySetting{method, *value};
}

}  // namespace flashwright
