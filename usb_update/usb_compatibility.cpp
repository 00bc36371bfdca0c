#include "usb_update/usb_compatibility.h"

#include <atomic>

#include "shell/string_table.h"
#include "usb_update/usb_update_texts.h"

namespace flashwright {
namespace {

std::atomic<bool>& AllowFlag() {
  static std::atomic<bool> allow{false};
  return allow;
}

std::uint32_t MinimumVersion(std::uint16_t product_id, bool* found) {
  for (const UsbMinimumVersion& entry : kUsbMinimumVersions) {
    if (entry.product_id == product_id) {
      *found = true;
      return entry.minimum;
    }
  }
  *found = false;
  return 0;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

bool CheckUsbCompatibility(const UsbDeviceInfo& device, const UsbImageInfo& image,
                           const std::vector<std::string>& markers, std::string* reason,
                           bool* severe, std::string* warning) {
  bool ok = true;
  bool is_severe = false;
  std::string why;
  std::string warned;

  if (device.first_byte != image.first_byte) {
    ok = false;
    why = usb_texts::kFirstByteMismatch;
    is_severe = true;
    warned = usb_texts::kFirstByteWarning;
  } else if (device.vendor_id != image.vendor_id) {
    ok = false;
    why = usb_texts::kVendorIdMismatch;
  } else if (device.product_id != image.product_id) {
    ok = false;
    why = usb_texts::kProductIdMismatch;
  }

  if (ok && device.first_byte == kFirmwareFirstByte) {
    bool has_minimum = false;
    const std::uint32_t minimum = MinimumVersion(device.product_id, &has_minimum);
    if (has_minimum) {
      if (ParseProductVersion(device.product_string) < minimum) {
        ok = false;
        why = usb_texts::kDeviceVersionTooOld;
      } else if (ParseProductVersion(image.product_text) < minimum) {
        ok = false;
        why = usb_texts::kImageVersionTooOld;
      }
      if (!ok) {
        is_severe = true;
        warned = usb_texts::kVersionWarning;
      }
    }
  }

  // The last entry of the list is the one tested first.
  for (auto marker = markers.rbegin(); ok && marker != markers.rend(); ++marker) {
    if (Contains(device.product_string, *marker) && !Contains(image.product_text, *marker)) {
      ok = false;
      why = FormatText(usb_texts::kMarkerMissing, marker->c_str());
    }
  }

  if (reason != nullptr) *reason = why;
  if (severe != nullptr) *severe = is_severe;
  if (warning != nullptr) *warning = warned;
  return ok;
}

bool IsAlreadyUpdated(const UsbDeviceInfo& device, const UsbImageInfo& image) {
  return device.vendor_id == image.vendor_id && device.product_id == image.product_id &&
         device.product_string == image.product_text;
}

bool AllowNonMatchingDevices() { return AllowFlag().load(); }

void SetAllowNonMatchingDevices(bool allow) { AllowFlag().store(allow); }

bool ToggleAllowNonMatchingDevices() {
  bool allow = AllowFlag().load();
  while (!AllowFlag().compare_exchange_weak(allow, !allow)) {
  }
  return !allow;
}

std::string UsbMayNotWorkQuestion(const std::string& reason) {
  return std::string(usb_texts::kMayNotWork) + kLineBreak + "(" + reason + ")" + kLineBreak +
         kLineBreak + usb_texts::kAreYouSure;
}

std::string UsbAbsolutelySureQuestion(const std::string& warning) {
  return warning + kLineBreak + kLineBreak + usb_texts::kAreYouAbsolutelySure;
}

UsbConfirmation ConfirmUsbUpdate(const UsbDeviceInfo& device, const std::string& image_name,
                                 bool control_key, const std::vector<std::string>& markers,
                                 const UsbQuestionFunction& ask) {
  UsbConfirmation confirmation;
  confirmation.read_error = UsbReadImageFile(image_name, &confirmation.image);
  if (confirmation.read_error != 0) {
    confirmation.ok = false;
    confirmation.reason =
        FormatText(usb_texts::kCheckingFileError, static_cast<long>(confirmation.read_error));
  } else {
    confirmation.ok = CheckUsbCompatibility(device, confirmation.image, markers,
                                            &confirmation.reason, &confirmation.severe,
                                            &confirmation.warning);
  }

  if (!confirmation.ok && AllowNonMatchingDevices() && !control_key && ask) {
    confirmation.asked_may_not_work = true;
    const bool yes = ask(UsbQuestion::kMayNotWork, UsbMayNotWorkQuestion(confirmation.reason));
    confirmation.ok = yes;
    if (yes && confirmation.severe) {
      confirmation.asked_absolutely_sure = true;
      confirmation.ok = ask(UsbQuestion::kAbsolutelySure,
                            UsbAbsolutelySureQuestion(confirmation.warning));
    }
  }
  return confirmation;
}

}  // namespace flashwright
