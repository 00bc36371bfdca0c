#include "app/cli/usb_device_wait.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "app/cli/cli_arguments.h"
#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "shell/string_table.h"
#include "platform/usb_driver_io.h"
#include "usb_update/usb_device_info.h"
#include "usb_update/usb_device_location.h"
#include "usb_update/usb_update_texts.h"

namespace flashwright::cli {
namespace {

using Clock = std::chrono::steady_clock;
// Every look lists the devices anew (and opens some): a few looks a second are plenty for a
// device that a person plugs in.
constexpr auto kLookInterval = std::chrono::milliseconds(100);
// A device just plugged in is listed a moment before the system lets it be opened (the rules
// that grant access run after it appears): how long a listed device may refuse the open before
// the wait ends anyway and the open says why.
constexpr auto kSettleTime = std::chrono::seconds(2);

// Whether a device is at `index` now. Names of the legacy driver exist for every index, so
// there a device is there when it can be opened; a member of the CyUSB class is there as soon
// as it is listed, even before it may be opened (the open then says why not).
bool DevicePresent(std::uint16_t index) {
  if (UsbLegacyDriverPresent()) {
    const std::vector<std::uint16_t> present = ListUsbDevices();
    return std::find(present.begin(), present.end(), index) != present.end();
  }
  std::string path;
  return UsbDevicePath(index, &path) == 0;
}

// The index of the device named by `device` now, or -1 when none is there.
int PresentIndex(const UsbDeviceArgument& device, UsbError* error) {
  *error = 0;
  if (device.bus_path.empty()) {
    if (device.index < 0 || device.index >= kUsbIndexLimit) return device.index;
    return DevicePresent(static_cast<std::uint16_t>(device.index)) ? device.index : -1;
  }
  const std::uint16_t found = UsbFindDeviceAt(device.bus_path, error);
  return found == kUsbNoDevice ? -1 : found;
}

bool Openable(int index) {
  if (index >= kUsbIndexLimit) return true;  // the command names the range
  if (UsbOpenDevice(static_cast<std::uint16_t>(index)) != 0) return false;
  UsbCloseDevice();
  return true;
}

std::string DeviceName(const UsbDeviceArgument& device) {
  return device.bus_path.empty() ? FormatText(texts::kUsbDeviceNumber, device.index)
                                 : FormatText(texts::kUsbDeviceNamed, device.bus_path.c_str());
}

JsonObject ArgumentFields(const UsbDeviceArgument& device) {
  JsonObject fields;
  if (device.bus_path.empty()) {
    fields["device"] = device.index;
  } else {
    fields["bus_path"] = device.bus_path;
  }
  return fields;
}

}  // namespace

std::string UsbBusPath(int index) {
  std::string location;
  if (index < 0 || index >= kUsbIndexLimit ||
      UsbDeviceLocation(static_cast<std::uint16_t>(index), &location) != 0) {
    return {};
  }
  return location;
}

std::string UsbNameAndPlace(int index) {
  const std::string name = UsbDeviceDisplayName(static_cast<std::uint16_t>(index));
  const std::string at = UsbBusPath(index);
  return at.empty() ? name : FormatText(texts::kUsbNameAt, name.c_str(), at.c_str());
}

int FindUsbDevice(const std::string& argument, int wait_seconds, EventOutput& output,
                  int* index) {
  const std::optional<UsbDeviceArgument> device = ParseUsbDeviceArgument(argument);
  *index = device ? device->index : -1;
  if (!device || (device->bus_path.empty() && wait_seconds <= 0)) return kExitSuccess;
  const auto deadline = Clock::now() + std::chrono::seconds(std::max(wait_seconds, 0));
  bool told = false;
  std::optional<Clock::time_point> listed_since;
  UsbError error = 0;
  for (;;) {
    const int present = PresentIndex(*device, &error);
    if (present >= 0) {
      const auto now = Clock::now();
      if (!listed_since) listed_since = now;
      if (wait_seconds <= 0 || Openable(present) || now - *listed_since >= kSettleTime ||
          now >= deadline) {
        *index = present;
        return kExitSuccess;
      }
    }
    if (error == static_cast<UsbError>(platform::kErrorNotSupported)) {
      return output.Outcome(kExitUsage, ui::PaneKind::kError, texts::kUsbNoBusPaths,
                            ArgumentFields(*device));
    }
    if (wait_seconds <= 0 || Clock::now() >= deadline) break;
    if (!told && present < 0) {
      output.Message(ui::PaneKind::kNeutral, FormatText(texts::kWaitingFor, wait_seconds,
                                                          DeviceName(*device).c_str()));
      told = true;
    }
    std::this_thread::sleep_for(kLookInterval);
  }
  JsonObject fields = ArgumentFields(*device);
  if (wait_seconds > 0) {
    fields["waited"] = wait_seconds;
    fields["reason"] = "timeout";
    return output.Outcome(kExitTimeout, ui::PaneKind::kError,
                          FormatText(texts::kUsbWaitTimedOut, DeviceName(*device).c_str(),
                                     wait_seconds),
                          fields);
  }
  fields["errno"] = ENOENT;
  fields["reason"] = "no-device";
  return output.Outcome(kExitNoReader, ui::PaneKind::kError,
                        FormatText(texts::kUsbNoDeviceAt, device->bus_path.c_str()), fields);
}

int ReportUsbDeviceAfter(int index, std::string bus_path, int wait_seconds,
                         const std::string& completion, JsonObject fields, EventOutput& output) {
  if (bus_path.empty()) bus_path = UsbBusPath(index);
  UsbDeviceArgument device;
  device.index = bus_path.empty() ? index : -1;
  device.bus_path = bus_path;
  const std::string name = UsbNameAndPlace(index);
  output.Message(ui::PaneKind::kNeutral,
                 FormatText(texts::kUsbWaitingForReattach, name.c_str(), wait_seconds));

  // The device counts as attached again once it was seen gone, or when it has another name in
  // the driver layer (it came back between two looks).
  std::string path_before;
  UsbDevicePath(static_cast<std::uint16_t>(index), &path_before);
  const auto deadline = Clock::now() + std::chrono::seconds(wait_seconds);
  bool gone = false;
  for (;;) {
    UsbError error = 0;
    const int present = PresentIndex(device, &error);
    std::string path;
    if (present >= 0) UsbDevicePath(static_cast<std::uint16_t>(present), &path);
    if (present < 0 || path != path_before) gone = true;
    if (gone && present >= 0) {
      const UsbDeviceReading reading = ReadUsbDevice(present, false);
      if (reading.result == 0 && !reading.info.product_string.empty()) {
        fields["version_after"] = reading.info.product_string;
        return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess,
                              completion + "\n" +
                                  FormatText(texts::kUsbProductAfter,
                                             reading.info.product_string.c_str()),
                              fields);
      }
    }
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(kLookInterval);
  }
  fields["waited"] = wait_seconds;
  fields["reason"] = "timeout";
  return output.Outcome(kExitTimeout, ui::PaneKind::kError,
                        completion + "\n" +
                            FormatText(texts::kUsbNotBackAfter, name.c_str(), wait_seconds),
                        fields);
}

}  // namespace flashwright::cli
