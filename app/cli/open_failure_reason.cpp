#include "app/cli/open_failure_reason.h"

#include "app/cli/cli_texts.h"
#include "app/string_table.h"
#include "platform/port_map.h"
#include "platform/system_error.h"
#include "reader_link/transport.h"

namespace flashwright::cli {

OpenFailureReason PortOpenFailureReason(const std::string& device, int system_error) {
  OpenFailureReason result;
  result.system_error = system_error;
  const char* name = platform::SystemErrorName();
  switch (platform::ClassifyPortOpenError(system_error)) {
    case platform::OpenFailureKind::PermissionDenied:
      result.reason = "permission-denied";
      result.line = FormatText(texts::kCausePermission, device.c_str(), name, system_error);
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
