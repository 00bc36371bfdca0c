// The values flashwright-cli takes on its command line, read and checked before anything is
// sent to a reader.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/text_case.h"
#include "reader_update/firmware_folder.h"

namespace flashwright::cli {

// The port that "auto" stands for: reader port discovery chooses.
inline constexpr int kAutoDetectPort = 0;
inline constexpr int kHighestPort = 0xFFFF;

// "auto", a COM number 1 to 65535, or "COM<n>" (any case). 0 for "auto".
std::optional<int> ParsePortArgument(const std::string& text);

// A device path rather than a COM number: "/dev/...", "./...", or "\\.\COM12".
bool IsDevicePathArgument(const std::string& text);

// What --device of the usb commands names: a device by its index in the list (a decimal
// number; the range is checked where the device is looked for), or by its bus path as the
// system names the place it is plugged in: the bus, '-', and the port on each hub from the root
// hub down, joined by '.' ("1-3.2").
struct UsbDeviceArgument {
  int index = -1;        // -1 for a bus path
  std::string bus_path;  // empty for an index
};
std::optional<UsbDeviceArgument> ParseUsbDeviceArgument(const std::string& text);


// A version constraint: "G", "L" or no letter, then one to three dot-separated decimal
// components of 0 to 255 ("L2.1", "G4", "4.241.8"). Letters in any case.
bool IsVersionConstraint(const std::string& text);

// The constraint list after the arguments of one of the options --too-old or --too-new, with
// the rules of the windowed program's /O and /N switches: giving the option empties the
// default list, each value is appended in upper case, and "none" empties the list so far.
// Without arguments the list stays as it is.
std::vector<std::string> ApplyConstraintArguments(std::vector<std::string> list,
                                                  const std::vector<std::string>& arguments);

// The firmware file `name` names among `files` (images first, then packages): letter case is
// ignored, and a trailing ".hex" (or ".xml" when no image matches) is not part of the name.
std::optional<FirmwareFileEntry> FindFirmwareFile(const std::vector<FirmwareFileEntry>& files,
                                                  const std::string& name);



}  // namespace flashwright::cli
