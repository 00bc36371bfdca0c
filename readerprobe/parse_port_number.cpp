#include <cctype>

#include "readerprobe/detect_reader.h"

namespace flashwright::probe {

int ParsePortNumber(std::string_view friendly_name) {
  const std::size_t open = friendly_name.find('(');
  const std::size_t close = friendly_name.find(')');
  if (friendly_name.empty() || open == std::string_view::npos || close == std::string_view::npos) {
    return 0;
  }
  // The digits start after "(COM"; a ")" before that leaves none.
  const std::size_t start = open + 4;
  if (close <= start) return 0;
  const std::string_view digits = friendly_name.substr(start, close - start);
  if (digits.size() > 5) return 0;
  // Read as the runtime's string-to-integer conversion does: blanks, a sign, digits.
  std::size_t i = 0;
  while (i < digits.size() && std::isspace(static_cast<unsigned char>(digits[i]))) ++i;
  bool negative = false;
  if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) negative = digits[i++] == '-';
  int value = 0;
  while (i < digits.size() && std::isdigit(static_cast<unsigned char>(digits[i]))) {
    value = value * 10 + (digits[i++] - '0');
  }
  return negative ? -value : value;
}

}  // namespace flashwright::probe
