// Texts of the USB update view that are not in the string table: the form's captions and the
// one notice for a system that does not report devices coming and going.
#pragma once

namespace flashwright::usb_texts {

inline constexpr const char kSettingsGroup[] = "Settings";
inline constexpr const char kDeviceLabel[] = "Device:";
inline constexpr const char kFirmwareLabel[] = "Firmware:";
inline constexpr const char kDeviceInformationGroup[] = "Device Information";
inline constexpr const char kBeginUpdate[] = "Begin Update";
inline constexpr const char kRefresh[] = "Refresh";
inline constexpr const char kNone[] = "(none)";
inline constexpr const char kNoDeviceNotices[] =
    "This system does not report USB devices that are plugged in or pulled out: press Refresh "
    "(or F5) to list the devices again.";

}  // namespace flashwright::usb_texts
