// The system's error codes as a person reads them, and what a failed open of a device means
// for its user: the codes differ between systems, the advice does not.
#pragma once

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

}  // namespace flashwright::platform
