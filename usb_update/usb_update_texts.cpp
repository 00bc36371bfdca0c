#include "usb_update/usb_update_texts.h"

#include "shell/string_table.h"

namespace flashwright {
namespace {

std::string WithFinishing(std::string text, bool finishing) {
  if (finishing) text += usb_texts::kFinishing;
  return text;
}

}  // namespace

std::string UsbVerifyStatusText(const UsbProgress& progress) {
  return WithFinishing(FormatText(usb_texts::kVerifyStatus,
                                  static_cast<unsigned long>(progress.done),
                                  static_cast<unsigned long>(progress.total)),
                       progress.finishing);
}

std::string UsbProgramStatusText(const UsbProgress& progress) {
  if (progress.done == 0) return WithFinishing(usb_texts::kInitializing, progress.finishing);
  return WithFinishing(FormatText(usb_texts::kProgramStatus,
                                  static_cast<unsigned long>(progress.done),
                                  static_cast<unsigned long>(progress.total)),
                       progress.finishing);
}

int UsbProgramPercent(std::uint32_t done, std::uint32_t total) {
  if (total == 0) return 0;
  // 64 bits: done * 100 must not wrap for large sizes.
  const std::uint64_t percent = static_cast<std::uint64_t>(done) * 100 / total;
  if (percent > 99) return done >= total ? 100 : 99;
  return static_cast<int>(percent);
}

std::string UsbDeviceDisplayName(std::uint16_t index) {
  char name[64] = {};
  if (UsbDeviceName(index, name, sizeof name) == 0) return name;
  return FormatText(usb_texts::kDeviceFallbackName, static_cast<int>(index));
}

UsbOutcome ComposeUsbOutcome(const UsbUpdateResult& result, const std::string& firmware_folder) {
  UsbOutcome outcome;
  if (result.error == 0) {
    outcome.success = true;
    outcome.text =
        FormatString(IDS_USB_UPDATED, UsbDeviceDisplayName(result.device_index).c_str());
    return outcome;
  }
  switch (result.phase) {
    case kUsbPhaseCheck:
      outcome.text =
          FormatString(IDS_FILE_ERROR, result.image_name.c_str(), firmware_folder.c_str());
      break;
    case kUsbPhaseProgram:
      outcome.text = LoadString(IDS_USB_RESPONSE_ERROR);
      break;
    default:
      outcome.text = LoadString(IDS_UPDATE_ERROR);
      break;
  }
  outcome.text += kLineBreak;
  outcome.text += FormatText(usb_texts::kErrorLine, static_cast<long>(result.error),
                             static_cast<unsigned long>(result.bytes_written));
  return outcome;
}

}  // namespace flashwright
