#include "app/cli/usb_device_wait.h"

#include <cerrno>

#include "app/cli/cli_arguments.h"
#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "app/string_table.h"
#include "platform/usb_driver_io.h"
#include "usb_update/usb_device_location.h"

namespace flashwright::cli {

std::string UsbBusPath(int index) {
  std::string location;
  if (index < 0 || index >= kUsbIndexLimit ||
      UsbDeviceLocation(static_cast<std::uint16_t>(index), &location) != 0) {
    return {};
  }
  return location;
}

int FindUsbDevice(const std::string& argument, EventOutput& output, int* index) {
  const std::optional<UsbDeviceArgument> device = ParseUsbDeviceArgument(argument);
  *index = device ? device->index : -1;
  if (!device || device->bus_path.empty()) return kExitSuccess;
  UsbError error = 0;
  const std::uint16_t found = UsbFindDeviceAt(device->bus_path, &error);
  if (found != kUsbNoDevice) {
    *index = found;
    return kExitSuccess;
  }
  JsonObject fields;
  fields["bus_path"] = device->bus_path;
  if (error == static_cast<UsbError>(platform::kErrorNotSupported)) {
    return output.Outcome(kExitUsage, MessageKind::Error, texts::kUsbNoBusPaths, fields);
  }
  fields["errno"] = ENOENT;
  fields["reason"] = "no-device";
  return output.Outcome(kExitNoReader, MessageKind::Error,
                        FormatText(texts::kUsbNoDeviceAt, device->bus_path.c_str()), fields);
}

}  // namespace flashwright::cli
