// Which USB devices count as members of the CyUSB device-interface class on this system: the
// vendor:product pairs that FLASHWRIGHT_USB_IDS lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace flashwright::platform {

inline constexpr char kUsbIdsVariable[] = "FLASHWRIGHT_USB_IDS";
// The EZ-USB's default vendor, any product.
inline constexpr char kDefaultUsbIds[] = "04b4:*";

class UsbIdFilter {
 public:
  // A comma-separated list of "vvvv:pppp" or "vvvv:*" (hexadecimal, any case, blanks around
  // entries allowed). Malformed entries are ignored.
  explicit UsbIdFilter(const std::string& list);
  // From FLASHWRIGHT_USB_IDS, or the default when it is not set.
  static UsbIdFilter FromEnvironment();

  bool Matches(std::uint16_t vendor_id, std::uint16_t product_id) const;
  bool Empty() const { return entries_.empty(); }

 private:
  struct Entry {
    std::uint16_t vendor_id = 0;
    bool any_product = false;
    std::uint16_t product_id = 0;
  };
  std::vector<Entry> entries_;
};

}  // namespace flashwright::platform
