// The system's error codes as a person reads them, and what a failed open of a device means
// for its user: the codes differ between systems, the advice does not.
#pragma once

#include <cstdint>
#include <string>

namespace flashwright::platform {

// The system's own text for `code` ("Permission denied").
std::string SystemErrorText(int code);
// What the code is called in a bug report: "errno" or "Windows error".
const char* SystemErrorName();

enum class OpenFailureKind {
  Other,
  PermissionDenied,  // the user may not open the device
  InUse,             // another program holds it
  NoDevice,          // nothing is there
};

// The kind of a failed open of a serial port.
OpenFailureKind ClassifyPortOpenError(int code);

// A failed open of a USB device, from the driver layer's code (the codes of usb_driver_io.h):
// its kind, and the system's own code for it, the one a person looks up.
OpenFailureKind ClassifyUsbOpenError(std::uint32_t driver_error);
int UsbOpenSystemError(std::uint32_t driver_error);

}  // namespace flashwright::platform
