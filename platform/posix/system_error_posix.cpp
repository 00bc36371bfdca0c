#include <cerrno>
#include <cstring>

#include "platform/system_error.h"

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

}  // namespace flashwright::platform
