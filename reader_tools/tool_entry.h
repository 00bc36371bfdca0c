// Entries of the settings tools, checked before anything is sent to the reader.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace flashwright {

// The value of one hexadecimal digit of either case, or -1.
int HexDigitValue(char c);

// The longest value entry the settings dialogs accept.
inline constexpr int kHexEntryMaxChars = 2;

// A hexadecimal byte as typed: one or two digits 0-9, A-F, a-f and nothing else (no sign, no
// space, no prefix). "da" is 0xDA, "7" is 0x07.
std::optional<std::uint8_t> ParseHexEntry(const std::string& text);

struct SecuritySetting {
  std::uint8_t method = 0;
  std::uint8_t value = 0;
};

// The setting chosen at list position `position` ("AFI", "EAS", "DSFID", "None") with the value
// text. None takes no value and sends 0 whatever the text holds; EAS takes only 0 or 1; any
// position outside the list counts as AFI.
std::optional<SecuritySetting> ParseSecurityEntry(int position, const std::string& value_text);

}  // namespace flashwright
