// The texts of USB updates that every front end shows the same way: the check's reasons and
// questions, the progress status line and percentage, the device's display name and the
// outcome message. The string-table messages (146, 147, 157, 163) come from the string table.
#pragma once

#include <cstdint>
#include <string>

#include "usb_update/usb_update_engine.h"

namespace flashwright {

namespace usb_texts {

inline constexpr char kFirstByteMismatch[] = "First byte in firmware does not match";
inline constexpr char kVendorIdMismatch[] = "Vendor IDs do not match";
inline constexpr char kProductIdMismatch[] = "Product IDs do not match";
inline constexpr char kDeviceVersionTooOld[] = "Device does not support firmware update";
inline constexpr char kImageVersionTooOld[] = "Firmware file version not supported";
inline constexpr char kMarkerMissing[] = "%s must be in both versions";
inline constexpr char kFirstByteWarning[] =
    "Updating to firmware that contains a different first byte"
    " may result in a device that does not function at all.";
inline constexpr char kVersionWarning[] =
    "Attempting to update this device with this firmware may result in"
    " device lock-up now or the next time a firmware update is done.";
inline constexpr char kCheckingFileError[] = "Error %ld checking file.";
inline constexpr char kMayNotWork[] = "This firmware may not work on this device.";
inline constexpr char kAreYouSure[] = "Are you sure you want to update?";
inline constexpr char kAreYouAbsolutelySure[] = "Are you absolutely sure you want to update?";

inline constexpr char kVerifyStatus[] = "Verify (%lu of %lu)";
inline constexpr char kProgramStatus[] = "Program (%lu of %lu)";
inline constexpr char kInitializing[] = "Initializing...";
inline constexpr char kFinishing[] = "...Finishing...";
inline constexpr char kErrorLine[] = "(Err:%ld,Offset:%lu)";
inline constexpr char kDeviceFallbackName[] = "dev%d";

}  // namespace usb_texts

// "Verify (done of total)", followed by "...Finishing..." when finishing.
std::string UsbVerifyStatusText(const UsbProgress& progress);
// "Initializing..." at 0 bytes, else "Program (done of total)"; "...Finishing..." appended
// when finishing.
std::string UsbProgramStatusText(const UsbProgress& progress);
// done * 100 / total (0 when total is 0); above 99 only when all was done: then 100, else 99.
int UsbProgramPercent(std::uint32_t done, std::uint32_t total);

// The name the user knows a device by: UsbDeviceName, or "dev<index>" when that fails.
std::string UsbDeviceDisplayName(std::uint16_t index);

// What the front end shows when an update has ended.
struct UsbOutcome {
  bool success = false;  // shown as a success (green), else as an error (red)
  std::string text;      // a failure ends with the line "(Err:%ld,Offset:%lu)"
};
// Success names the device by UsbDeviceDisplayName; a failure in the check phase names the
// image and `firmware_folder`.
UsbOutcome ComposeUsbOutcome(const UsbUpdateResult& result, const std::string& firmware_folder);

}  // namespace flashwright
