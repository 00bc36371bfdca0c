// Why a device could not be opened, for the person who has to fix it: after the design's
// message one line that names the cause and the remedy, and the same as the outcome's fields
// "errno" (the system's code) and "reason".
#pragma once

#include <cstdint>
#include <string>

#include "app/cli/event_output.h"

namespace flashwright::cli {

struct OpenFailureReason {
  int system_error = 0;
  std::string reason;  // "permission-denied", "in-use", "no-device" or "system-error"
  std::string line;    // the cause and the remedy
};

// The reason of a failed open of reader port `device` (its path) with `system_error`.
OpenFailureReason PortOpenFailureReason(const std::string& device, int system_error);

// The reason of a failed open of USB device `device` (its name for a person) with the driver
// layer's code `driver_error`; "errno" is the system's code behind it.
OpenFailureReason UsbOpenFailureReason(const std::string& device, std::uint32_t driver_error);

// Adds the reason of the last failed open of a reader port to a failed outcome about that
// port (its "port" field names it). Installed as the output's failure annotator.
void AnnotatePortOpenFailure(std::string* text, JsonObject* fields);

}  // namespace flashwright::cli
