#include "app/cli/cli_arguments.h"

#include <cctype>

#include "platform/text_case.h"

namespace flashwright::cli {
namespace {

// A decimal number of at most `max_digits` digits and at most `max_value`.
std::optional<unsigned> DecimalNumber(const std::string& text, std::size_t max_digits,
                                      unsigned max_value) {
  if (text.empty() || text.size() > max_digits) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > max_value) return std::nullopt;
  return value;
}

bool EndsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

std::optional<FirmwareFileEntry> FindByName(const std::vector<FirmwareFileEntry>& files,
                                            const std::string& lower_name, bool package) {
  for (const FirmwareFileEntry& entry : files) {
    if (entry.is_package == package && LowerCase(entry.base_name) == lower_name) return entry;
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> ParsePortArgument(const std::string& text) {
  const std::string lower = LowerCase(text);
  if (lower == "auto") return kAutoDetectPort;
  const std::string digits = lower.rfind("com", 0) == 0 ? lower.substr(3) : lower;
  const auto number = DecimalNumber(digits, 5, kHighestPort);
  if (!number || *number == 0) return std::nullopt;
  return static_cast<int>(*number);
}

bool IsDevicePathArgument(const std::string& text) {
  return text.size() > 1 && (text[0] == '/' || text.rfind("./", 0) == 0 ||
                             text.rfind("../", 0) == 0 || text.rfind("\\\\", 0) == 0);
}

std::optional<UsbDeviceArgument> ParseUsbDeviceArgument(const std::string& text) {
  UsbDeviceArgument argument;
  if (const auto index = DecimalNumber(text, 6, 999999)) {
    argument.index = static_cast<int>(*index);
    return argument;
  }
  // Bus numbers and hub ports are small: 1 to 3 digits each, at most seven hub tiers.
  const std::size_t dash = text.find('-');
  if (dash == std::string::npos) return std::nullopt;
  const auto bus = DecimalNumber(text.substr(0, dash), 3, 255);
  if (!bus || *bus == 0) return std::nullopt;
  int tiers = 0;
  for (std::size_t start = dash + 1;;) {
    const std::size_t dot = text.find('.', start);
    const std::string port = text.substr(start, dot == std::string::npos ? dot : dot - start);
    const auto number = DecimalNumber(port, 3, 255);
    if (!number || *number == 0 || ++tiers > 7) return std::nullopt;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  argument.bus_path = text;
  return argument;
}


bool IsVersionConstraint(const std::string& text) {
  std::string rest = UpperCase(text);
  if (!rest.empty() && (rest[0] == 'G' || rest[0] == 'L')) rest.erase(0, 1);
  if (rest.empty()) return false;
  int components = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = rest.find('.', start);
    const std::string component = rest.substr(start, dot == std::string::npos ? dot : dot - start);
    if (!DecimalNumber(component, 3, 255)) return false;
    if (++components > 3) return false;
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
}

std::vector<std::string> ApplyConstraintArguments(std::vector<std::string> list,
                                                  const std::vector<std::string>& arguments) {
  if (arguments.empty()) return list;
  list.clear();
  for (const std::string& argument : arguments) {
    std::string upper = UpperCase(argument);
    if (upper == "NONE") {
      list.clear();
    } else {
      list.push_back(std::move(upper));
    }
  }
  return list;
}

std::optional<FirmwareFileEntry> FindFirmwareFile(const std::vector<FirmwareFileEntry>& files,
                                                  const std::string& name) {
  const std::string lower = LowerCase(name);
  const std::string image_name = EndsWith(lower, ".hex") ? lower.substr(0, lower.size() - 4) : lower;
  if (auto image = FindByName(files, image_name, false)) return image;
  if (EndsWith(lower, ".xml")) {
    if (auto package = FindByName(files, lower.substr(0, lower.size() - 4), true)) return package;
  }
  // A package may be named like an image; images come first, as in the firmware list.
  return FindByName(files, lower, true);
}



}  // namespace flashwright::cli
