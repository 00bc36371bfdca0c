// What a front end of USB updates says before an update starts, decided once for the windowed
// program and the command line: the prompt that tells whether an update may start and why
// not, the image that the command line preselects, the refusal of an incompatible image and
// the report of a check made without updating.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "usb_update/usb_compatibility.h"
#include "windowing/message_pane.h"

namespace flashwright {

namespace usb_texts {
inline constexpr char kCheckPassed[] = "This device can be updated with the firmware.";
inline constexpr char kCheckFailed[] =
    "This device can NOT be updated with the firmware due to: (%s)";
inline constexpr char kReportDeviceLine[] = "Device:[%hX][%hX][%hX]%s";
inline constexpr char kReportImageLine[] = "Firmware:[%hX][%hX][%hX]%s";
}  // namespace usb_texts

struct UsbMessage {
  std::string text;  // lines joined with "\r\n"
  ui::PaneKind kind = ui::PaneKind::kNeutral;
};

// What the prompt is made from.
struct UsbPromptState {
  std::int32_t device = -1;           // the selected device, negative for none
  std::string device_name;            // its display name
  bool device_known = false;          // its product string could be read
  bool image_selected = false;
  std::size_t image_count = 0;        // images in the firmware folder
  std::string preselected_image;      // UsbPreselectedImageName of the command line's name
  bool advanced = false;
  std::string firmware_folder;
};

struct UsbPrompt {
  UsbMessage message;
  bool ready = false;  // Begin Update may start an update
};

// The prompt: "no devices" (159), a preselected image that is missing (136) or no images at
// all (144) as errors; otherwise "select a firmware file" (142, with " using Advanced View" in
// the basic view), an unknown device (158), or "Press Begin Update" (129).
UsbPrompt ComposeUsbPrompt(const UsbPromptState& state);

// The image name that the command line's USB firmware file names: the name without a trailing
// ".bin" (in any letter case); empty when none was given.
std::string UsbPreselectedImageName(const std::string& option);

// The position in `images` of `name`, letter case ignored; -1 when it is not there.
int FindUsbImageIndex(const std::vector<std::string>& images, const std::string& name);

// The image of `images` that a user's `name` means: the image of that name, letter case
// ignored, else the one that names it without a trailing ".bin". Empty when none does.
std::string FindUsbImage(const std::vector<std::string>& images, const std::string& name);

// "Device is not compatible with firmware file." and, on the next line, the reason in
// parentheses.
std::string UsbNotCompatibleText(const std::string& reason);

// The report of a check made without updating: whether the device can be updated (or why
// not), then the device's and the image's first byte, IDs and product text.
std::string UsbCheckReportText(const UsbConfirmation& confirmation, const UsbDeviceInfo& device);

}  // namespace flashwright
