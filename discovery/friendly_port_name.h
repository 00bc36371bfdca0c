// The COM number in a serial port's friendly name, such as "USB Serial Port (COM12)".
#pragma once

#include <string_view>

namespace flashwright {

// Reads the number after the first "(COM" as the pattern "(COM%d)" does: optional blanks and
// a sign, then decimal digits. False when there is no "(COM", no number, or a number beyond
// the int range.
bool PortOfFriendlyName(std::string_view friendly_name, int* port);

}  // namespace flashwright
