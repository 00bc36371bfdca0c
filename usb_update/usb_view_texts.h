// Texts of the USB update view that are not in the string table: the "(none)" entry and the
// one notice for a system that does not report devices coming and going (the form's own texts
// are in its template).
#pragma once

namespace flashwright::usb_texts {

inline constexpr const char kNone[] = "(none)";
inline constexpr const char kNoDeviceNotices[] =
    "This system does not report USB devices that are plugged in or pulled out: press Refresh "
    "(or F5) to list the devices again.";

}  // namespace flashwright::usb_texts
