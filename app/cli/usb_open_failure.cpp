#include "app/cli/usb_open_failure.h"

#include <cstdio>

#include "app/cli/cli_texts.h"
#include "app/cli/open_failure_reason.h"
#include "app/cli/usb_device_wait.h"
#include "shell/string_table.h"
#include "platform/usb_driver_io.h"
#include "platform/usb_driver_requests.h"
#include "usb_update/usb_device_location.h"

namespace flashwright::cli {
namespace {

struct Refusal {
  std::string device;  // empty: none refused
  std::uint32_t error = 0;
};

// The driver layer's code of an open of `path` that failed though a device is there; 0 when
// it opens or nothing is there.
std::uint32_t OpenRefusal(const std::string& path, bool overlapped) {
  platform::UsbDriverIo& io = platform::CurrentUsbDriverIo();
  std::uint32_t error = 0;
  const platform::DriverHandle handle = io.Open(path, overlapped, &error);
  if (handle != platform::kInvalidDriverHandle) {
    io.Close(handle);
    return 0;
  }
  return error == platform::kErrorFileNotFound ? 0 : error;
}

Refusal FindRefusal(int first, int last) {
  const bool legacy = UsbLegacyDriverPresent();
  if (!legacy && first == 0) {
    // A legacy driver whose device 0 refuses the open does not count as present at all.
    char name[32] = {};
    std::snprintf(name, sizeof name, platform::kEzusbDeviceNameFormat, 0);
    if (const std::uint32_t error = OpenRefusal(name, false); error != 0) return {name, error};
  }
  for (int index = first; index <= last && index < kUsbIndexLimit; ++index) {
    std::string path;
    if (UsbDevicePath(static_cast<std::uint16_t>(index), &path) != 0) break;
    if (const std::uint32_t error = OpenRefusal(path, !legacy); error != 0) {
      return {UsbNameAndPlace(index), error};
    }
  }
  return {};
}

}  // namespace

void AnnotateUsbOpenFailure(int first, int last, std::string* text, JsonObject* fields) {
  const Refusal refusal = FindRefusal(first < 0 ? 0 : first, last);
  if (refusal.device.empty()) return;
  const OpenFailureReason reason = UsbOpenFailureReason(
      FormatText(texts::kUsbDeviceNamed, refusal.device.c_str()), refusal.error);
  if (!text->empty()) *text += "\n";
  *text += reason.line;
  (*fields)["errno"] = reason.system_error;
  (*fields)["reason"] = reason.reason;
}

}  // namespace flashwright::cli
