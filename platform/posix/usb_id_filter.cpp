#include "platform/usb_id_filter.h"

#include <cstdlib>
#include <optional>
#include <sstream>

namespace flashwright::platform {
namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// One to four hexadecimal digits, nothing else.
std::optional<std::uint16_t> ParseHex16(const std::string& text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  std::uint16_t value = 0;
  for (const char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    value = static_cast<std::uint16_t>(value << 4 | digit);
  }
  return value;
}

}  // namespace

UsbIdFilter::UsbIdFilter(const std::string& list) {
  std::stringstream stream(list);
  std::string item;
  while (std::getline(stream, item, ',')) {
    item = Trim(item);
    const auto colon = item.find(':');
    if (colon == std::string::npos) continue;
    const auto vendor = ParseHex16(item.substr(0, colon));
    if (!vendor) continue;
    Entry entry;
    entry.vendor_id = *vendor;
    const std::string product = item.substr(colon + 1);
    if (product == "*") {
      entry.any_product = true;
    } else if (const auto id = ParseHex16(product)) {
      entry.product_id = *id;
    } else {
      continue;
    }
    entries_.push_back(entry);
  }
}

UsbIdFilter UsbIdFilter::FromEnvironment() {
  const char* value = std::getenv(kUsbIdsVariable);
  return UsbIdFilter(value != nullptr ? value : kDefaultUsbIds);
}

bool UsbIdFilter::Matches(std::uint16_t vendor_id, std::uint16_t product_id) const {
  for (const Entry& entry : entries_) {
    if (entry.vendor_id == vendor_id && (entry.any_product || entry.product_id == product_id)) {
      return true;
    }
  }
  return false;
}

}  // namespace flashwright::platform
