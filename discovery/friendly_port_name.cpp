#include "discovery/friendly_port_name.h"

#include <cctype>
#include <climits>

namespace flashwright {

bool PortOfFriendlyName(std::string_view friendly_name, int* port) {
  std::size_t i = friendly_name.find("(COM");
  if (i == std::string_view::npos) return false;
  i += 4;
  while (i < friendly_name.size() && std::isspace(static_cast<unsigned char>(friendly_name[i]))) ++i;
  bool negative = false;
  if (i < friendly_name.size() && (friendly_name[i] == '+' || friendly_name[i] == '-')) {
    negative = friendly_name[i++] == '-';
  }
  const std::size_t first_digit = i;
  long long value = 0;
  while (i < friendly_name.size() && std::isdigit(static_cast<unsigned char>(friendly_name[i]))) {
    value = value * 10 + (friendly_name[i++] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (i == first_digit) return false;
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return false;
  *port = static_cast<int>(value);
  return true;
}

}  // namespace flashwright
