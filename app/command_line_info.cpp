#include "app/command_line_info.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/text_case.h"
#include "reader_link/tag_technology.h"

namespace flashwright {

namespace {

// Reads a port number as the runtime's string-to-integer conversion does (leading blanks,
// a sign, digits; 0 without digits), held within the 32-bit range instead of overflowing.
std::int32_t ReadPortNumber(const char* text) {
  errno = 0;
  const long value = std::strtol(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

}  // namespace

void CFWCommandLineInfo::ParseParam(const char* param, bool is_switch, bool /*last*/) {
  const std::string upper = UpperCase(param);
  if (is_switch) {
    last_switch_ = upper;
    if (upper == "O") {
      options_.limits.too_old.clear();
    } else if (upper == "N") {
      options_.limits.too_new.clear();
    } else if (upper == "USM") {
      options_.usb_markers.clear();
    } else if (upper == "D") {
      options_.reader_enabled = false;
      options_.usb_enabled = false;
    }
    return;
  }

  if (last_switch_ == "O") {
    if (upper == "NONE") options_.limits.too_old.clear();
    else options_.limits.too_old.push_back(upper);
  } else if (last_switch_ == "N") {
    if (upper == "NONE") options_.limits.too_new.clear();
    else options_.limits.too_new.push_back(upper);
  } else if (last_switch_ == "C") {
    options_.port = ReadPortNumber(param);
    options_.port_given = options_.port >= 0;
  } else if (last_switch_ == "F") {
    options_.reader_firmware = param;
    options_.reader_firmware_given = !options_.reader_firmware.empty();
  } else if (last_switch_ == "P") {
    const auto selection = TagTechnologyFromKeyword(upper);
    if (!selection) return;
    options_.tag_type = *selection;
    options_.tag_type_given = true;
  } else if (last_switch_ == "D") {
    if (upper == "ALL") {
      options_.reader_enabled = true;
      options_.usb_enabled = true;
    } else if (upper == "RFID") {
      options_.reader_enabled = true;
    } else if (upper == "USB") {
      options_.usb_enabled = true;
    }
  } else if (last_switch_ == "UF") {
    options_.usb_firmware = param;
    options_.usb_firmware_given = !options_.usb_firmware.empty();
  } else if (last_switch_ == "USM") {
    options_.usb_markers.push_back(param);
  }
}

void ParseCommandLine(CFWCommandLineInfo& info, const std::vector<std::string>& arguments) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const char* text = arguments[i].c_str();
    bool is_switch = false;
    if (text[0] == '-' || text[0] == '/') {
      is_switch = true;
      ++text;
    }
    info.ParseParam(text, is_switch, i + 1 == arguments.size());
  }
}

}  // namespace flashwright
