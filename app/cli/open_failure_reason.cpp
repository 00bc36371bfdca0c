#include "app/cli/open_failure_reason.h"

#include "app/cli/cli_texts.h"
#include "shell/string_table.h"
#include "platform/port_map.h"
#include "platform/system_error.h"
#include "reader_link/transport.h"

namespace flashwright::cli {
namespace {

// The reason of a failed open of `device` of the given kind; a permission problem has the
// remedy of its kind of device.
OpenFailureReason ReasonOf(platform::OpenFailureKind kind, const std::string& device,
                           int system_error, const std::string& permission_line) {
  OpenFailureReason result;
  result.system_error = system_error;
  const char* name = platform::SystemErrorName();
  switch (kind) {
    case platform::OpenFailureKind::PermissionDenied:
      result.reason = "permission-denied";
      result.line = permission_line;
      break;
    case platform::OpenFailureKind::InUse:
      result.reason = "in-use";
      result.line = FormatText(texts::kCauseInUse, device.c_str(), name, system_error);
      break;
    case platform::OpenFailureKind::NoDevice:
      result.reason = "no-device";
      result.line = FormatText(texts::kCauseNoDevice, device.c_str(), name, system_error);
      break;
    case platform::OpenFailureKind::Other:
      result.reason = "system-error";
      result.line = FormatText(texts::kCauseOther, device.c_str(),
                               platform::SystemErrorText(system_error).c_str(), name,
                               system_error);
      break;
  }
  return result;
}

}  // namespace

OpenFailureReason PortOpenFailureReason(const std::string& device, int system_error) {
  return ReasonOf(platform::ClassifyPortOpenError(system_error), device, system_error,
                  FormatText(texts::kCausePermission, device.c_str(),
                             platform::SystemErrorName(), system_error));
}

OpenFailureReason UsbOpenFailureReason(const std::string& device, std::uint32_t driver_error) {
  const int system_error = platform::UsbOpenSystemError(driver_error);
  return ReasonOf(platform::ClassifyUsbOpenError(driver_error), device, system_error,
                  FormatText(texts::kCauseUsbPermission, device.c_str(),
                             platform::SystemErrorName(), system_error,
                             FLASHWRIGHT_USB_UDEV_RULE));
}

void AnnotatePortOpenFailure(std::string* text, JsonObject* fields) {
  const PortOpenFailure failure = LastPortOpenFailure();
  if (failure.system_error <= 0) return;
  const auto port = fields->find("port");
  if (port == fields->end() || !port->is_number_integer() ||
      port->get<long long>() != static_cast<long long>(failure.port)) {
    return;
  }
  const OpenFailureReason reason =
      PortOpenFailureReason(platform::PortDevicePath(failure.port), failure.system_error);
  if (!text->empty()) *text += "\n";
  *text += reason.line;
  (*fields)["errno"] = reason.system_error;
  (*fields)["reason"] = reason.reason;
}

}  // namespace flashwright::cli
