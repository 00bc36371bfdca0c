// Whether an image belongs on a device: the compatibility check, the user's override of it,
// and the test for an image that the device already carries.
//
// The check compares the image's first byte and IDs with the device's, then, for devices
// whose first byte is 0xC2, the product versions against the minimum of the device's product
// ID, then the USB marker list. When it fails and non-matching devices are allowed, the user
// is asked (twice for a severe failure) whether to update anyway. The asking itself belongs
// to the front end: the windowed program shows message boxes, the command line prompts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "usb_update/usb_image.h"

namespace flashwright {

// What the front end knows of the selected device (an empty product string when it could not
// be read; zeros for values not known).
struct UsbDeviceInfo {
  std::uint8_t first_byte = 0;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::string product_string;
};

// Device product IDs with a minimum product version for devices whose first byte is 0xC2.
inline constexpr std::uint8_t kFirmwareFirstByte = 0xC2;
struct UsbMinimumVersion {
  std::uint16_t product_id;
  std::uint32_t minimum;
};
inline constexpr UsbMinimumVersion kUsbMinimumVersions[] = {
    {0x03AE, 0x00000132},  // 0.0.1.50
    {0x18A6, 0x00011B04},  // 0.1.27.4
};

// True when the image may be written to the device. Otherwise `reason` says why, `severe`
// is set when the device may not work at all afterwards, and `warning` then says so. The
// markers are the USB marker list, tested from its last entry to its first. Outputs may be
// null.
bool CheckUsbCompatibility(const UsbDeviceInfo& device, const UsbImageInfo& image,
                           const std::vector<std::string>& markers, std::string* reason,
                           bool* severe, std::string* warning);

// True when the device already carries this image: equal IDs and a device product string
// exactly equal to the image's product text.
bool IsAlreadyUpdated(const UsbDeviceInfo& device, const UsbImageInfo& image);

// ---- Updating devices that do not match: process-wide, false at start.
bool AllowNonMatchingDevices();
void SetAllowNonMatchingDevices(bool allow);
// Inverts the flag and returns its new value.
bool ToggleAllowNonMatchingDevices();

// The questions that may be put to the user, in the order they are put.
enum class UsbQuestion {
  kMayNotWork,      // "This firmware may not work on this device. ..."
  kAbsolutelySure,  // after a Yes to the first, for a severe failure: the warning, "... absolutely sure ..."
};

// Puts `text` to the user as a Yes/No question (stop icon, No the default); true for Yes.
using UsbQuestionFunction = std::function<bool(UsbQuestion question, const std::string& text)>;

struct UsbConfirmation {
  bool ok = false;           // the update may go ahead
  std::string reason;        // why the check failed; kept when the user overrode it
  bool severe = false;
  std::string warning;
  UsbImageInfo image;        // what was read from the image (empty after a read failure)
  UsbError read_error = 0;   // the code of reading the image
  bool asked_may_not_work = false;
  bool asked_absolutely_sure = false;
};

// Reads the image `image_name` of the USB firmware folder, checks it against the device and,
// when the check fails, non-matching devices are allowed and the control key was not held
// when the user started the update, asks through `ask`. An unreadable image fails with the
// reason "Error %ld checking file.". With no `ask` nothing is asked (as if the user said No).
UsbConfirmation ConfirmUsbUpdate(const UsbDeviceInfo& device, const std::string& image_name,
                                 bool control_key, const std::vector<std::string>& markers,
                                 const UsbQuestionFunction& ask);

// The texts of the two questions.
std::string UsbMayNotWorkQuestion(const std::string& reason);
std::string UsbAbsolutelySureQuestion(const std::string& warning);

}  // namespace flashwright
