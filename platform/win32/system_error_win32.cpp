#include <windows.h>

#include "platform/system_error.h"

namespace flashwright::platform {

std::string SystemErrorText(int code) {
  if (code <= 0) return "unknown error";
  char buffer[512];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                           text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(code) : text;
}

const char* SystemErrorName() { return "Windows error"; }

OpenFailureKind ClassifyPortOpenError(int code) {
  switch (code) {
    // A COM port held by another program answers "access denied" on Windows.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return OpenFailureKind::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
      return OpenFailureKind::NoDevice;
    default:
      return OpenFailureKind::Other;
  }
}

// The driver layer's codes are the system's own here; a device another program holds answers
// "access denied", as a COM port does.
int UsbOpenSystemError(std::uint32_t driver_error) { return static_cast<int>(driver_error); }

OpenFailureKind ClassifyUsbOpenError(std::uint32_t driver_error) {
  return ClassifyPortOpenError(UsbOpenSystemError(driver_error));
}

}  // namespace flashwright::platform
