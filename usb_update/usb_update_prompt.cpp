#include "usb_update/usb_update_prompt.h"

#include "shell/string_table.h"
#include "platform/text_case.h"

namespace flashwright {
namespace {

bool HasImageExtension(const std::string& name) {
  return EndsWithIgnoringCase(name, std::string(".") + kUsbImageExtension);
}

}  // namespace

UsbPrompt ComposeUsbPrompt(const UsbPromptState& state) {
  UsbPrompt prompt;
  prompt.ready = true;
  auto add = [&prompt](const std::string& line) {
    if (!prompt.message.text.empty()) prompt.message.text += kLineBreak;
    prompt.message.text += line;
  };
  if (state.device < 0) {
    add(LoadString(IDS_USB_NO_DEVICES));
    prompt.message.kind = ui::PaneKind::kError;
    prompt.ready = false;
  }
  if (!state.image_selected) {
    if (!state.preselected_image.empty()) {
      add(FormatString(IDS_FIRMWARE_FILE_NOT_FOUND, state.preselected_image.c_str(),
                       state.firmware_folder.c_str()));
      prompt.message.kind = ui::PaneKind::kError;
      prompt.ready = false;
    } else if (state.image_count == 0) {
      add(FormatString(IDS_NO_FIRMWARE_FILES, state.firmware_folder.c_str()));
      prompt.message.kind = ui::PaneKind::kError;
      prompt.ready = false;
    }
  }
  if (prompt.message.kind != ui::PaneKind::kError && !state.image_selected) {
    const std::string suffix = state.advanced ? "" : LoadString(IDS_ADVANCED_VIEW_SUFFIX);
    add(FormatString(IDS_SELECT_FIRMWARE, suffix.c_str()));
    prompt.ready = false;
  }
  if (prompt.ready && state.device >= 0 && !state.device_known) {
    add(FormatString(IDS_USB_UNKNOWN_DEVICE, state.device_name.c_str()));
    prompt.ready = false;
  }
  if (prompt.ready) {
    add(LoadString(IDS_PRESS_BEGIN_UPDATE));
    prompt.message.kind = ui::PaneKind::kNeutral;
  }
  return prompt;
}

std::string UsbPreselectedImageName(const std::string& option) {
  if (!HasImageExtension(option)) return option;
  return option.substr(0, option.size() - 1 - std::string(kUsbImageExtension).size());
}

int FindUsbImageIndex(const std::vector<std::string>& images, const std::string& name) {
  if (name.empty()) return -1;
  for (std::size_t i = 0; i < images.size(); ++i) {
    if (SameIgnoringCase(images[i], name)) return static_cast<int>(i);
  }
  return -1;
}

std::string FindUsbImage(const std::vector<std::string>& images, const std::string& name) {
  int found = FindUsbImageIndex(images, name);
  // "Update.BIN" names the image "Update" unless an image is called "Update.BIN" itself.
  if (found < 0 && HasImageExtension(name)) {
    found = FindUsbImageIndex(images, UsbPreselectedImageName(name));
  }
  return found < 0 ? std::string() : images[static_cast<std::size_t>(found)];
}

std::string UsbNotCompatibleText(const std::string& reason) {
  return std::string(LoadString(IDS_USB_NOT_COMPATIBLE)) + kLineBreak + "(" + reason + ")";
}

std::string UsbCheckReportText(const UsbConfirmation& confirmation, const UsbDeviceInfo& device) {
  std::string text = confirmation.ok
                         ? std::string(usb_texts::kCheckPassed)
                         : FormatText(usb_texts::kCheckFailed, confirmation.reason.c_str());
  text += kLineBreak;
  text += FormatText(usb_texts::kReportDeviceLine, device.vendor_id, device.product_id,
                     static_cast<unsigned short>(device.first_byte),
                     device.product_string.c_str());
  text += kLineBreak;
  const UsbImageInfo& image = confirmation.image;
  text += FormatText(usb_texts::kReportImageLine, image.vendor_id, image.product_id,
                     static_cast<unsigned short>(image.first_byte), image.product_text.c_str());
  return text;
}

}  // namespace flashwright
