#include <cerrno>
#include <cstring>

#include "platform/system_error.h"
#include "platform/usb_driver_io.h"

namespace flashwright::platform {

std::string SystemErrorText(int code) {
  if (code <= 0) return "unknown error";
  char buffer[256];
  // The GNU variant: the text may come back in place of the buffer.
  return ::strerror_r(code, buffer, sizeof buffer);
}

const char* SystemErrorName() { return "errno"; }

OpenFailureKind ClassifyPortOpenError(int code) {
  switch (code) {
    case EACCES:
    case EPERM:
      return OpenFailureKind::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK:  // the exclusive lock of another opener
      return OpenFailureKind::InUse;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return OpenFailureKind::NoDevice;
    default:
      return OpenFailureKind::Other;
  }
}

// The libusb driver layer speaks the design's codes; these are the errno values behind them.
int UsbOpenSystemError(std::uint32_t driver_error) {
  constexpr std::uint32_t kErrorAccessDenied = 5;
  switch (driver_error) {
    case kErrorAccessDenied: return EACCES;
    case kErrorFileNotFound: return ENOENT;
    case kErrorNotEnoughMemory: return ENOMEM;
    case kErrorDeviceNotConnected: return ENODEV;
    default: return EIO;
  }
}

OpenFailureKind ClassifyUsbOpenError(std::uint32_t driver_error) {
  return ClassifyPortOpenError(UsbOpenSystemError(driver_error));
}

}  // namespace flashwright::platform
