#include "usb_update/usb_run_control.h"

#include <cerrno>
#include <new>
#include <utility>

#include "shell/string_table.h"
#include "usb_update/usb_device_info.h"

namespace flashwright {
namespace {

UsbBeginDecision Decided(UsbBeginStep step, std::string text, ui::PaneKind kind) {
  UsbBeginDecision decision;
  decision.step = step;
  decision.message.text = std::move(text);
  decision.message.kind = kind;
  return decision;
}

void (*start_enter)() = nullptr;
void (*start_leave)() = nullptr;

// Runs the test hooks around a start.
class StartHooks {
 public:
  StartHooks() {
    if (start_enter != nullptr) start_enter();
  }
  ~StartHooks() {
    if (start_leave != nullptr) start_leave();
  }
  StartHooks(const StartHooks&) = delete;
  StartHooks& operator=(const StartHooks&) = delete;
};

bool SameDevice(const UsbDeviceInfo& a, const UsbDeviceInfo& b) {
  return a.first_byte == b.first_byte && a.vendor_id == b.vendor_id &&
         a.product_id == b.product_id && a.product_string == b.product_string;
}

}  // namespace

UsbBeginDecision BeginUsbUpdate(const UsbRunInputs& inputs) {
  if (inputs.image_name.empty()) {
    return Decided(UsbBeginStep::kNoImage,
                   inputs.image_count > 0
                       ? FormatString(IDS_SELECT_FIRMWARE,
                                      inputs.advanced ? "" : LoadString(IDS_ADVANCED_VIEW_SUFFIX))
                       : FormatString(IDS_NO_FIRMWARE_FILES, inputs.firmware_folder.c_str()),
                   ui::PaneKind::kError);
  }
  if (inputs.device < 0) {
    return Decided(UsbBeginStep::kNoDevice, LoadString(IDS_USB_NO_DEVICES), ui::PaneKind::kError);
  }
  const std::uint16_t index = static_cast<std::uint16_t>(inputs.device);
  const std::string device_name = UsbDeviceDisplayName(index);
  if (inputs.device_info.product_string.empty()) {
    return Decided(UsbBeginStep::kUnknownDevice,
                   FormatString(IDS_USB_UNKNOWN_DEVICE, device_name.c_str()),
                   ui::PaneKind::kError);
  }

  const UsbConfirmation confirmation = ConfirmUsbUpdate(
      inputs.device_info, inputs.image_name, inputs.control_key, inputs.markers, inputs.ask);
  UsbBeginDecision decision;
  if (inputs.control_key) {
    decision = Decided(UsbBeginStep::kReport, UsbCheckReportText(confirmation, inputs.device_info),
                       ui::PaneKind::kNeutral);
  } else if (!confirmation.ok) {
    decision = Decided(UsbBeginStep::kNotCompatible, UsbNotCompatibleText(confirmation.reason),
                       ui::PaneKind::kError);
  } else if (confirmation.asked_may_not_work &&
             !SameDevice(inputs.read_device ? inputs.read_device(inputs.device)
                                            : ReadUsbDevice(inputs.device, false).info,
                         inputs.device_info)) {
    // While the question was open the index may have come to name another device: the
    // answer was given for the one the user saw, so nothing is written to another.
    decision = Decided(UsbBeginStep::kDeviceChanged,
                       FormatText(usb_texts::kDeviceChanged, device_name.c_str()),
                       ui::PaneKind::kError);
  } else if (!inputs.advanced && IsAlreadyUpdated(inputs.device_info, confirmation.image)) {
    decision = Decided(UsbBeginStep::kAlreadyUpdated,
                       FormatString(IDS_USB_ALREADY_UPDATED, device_name.c_str()),
                       ui::PaneKind::kSuccess);
  } else {
    decision = Decided(UsbBeginStep::kStart, LoadString(IDS_UPDATE_IN_PROGRESS),
                       ui::PaneKind::kNeutral);
  }
  decision.confirmation = confirmation;
  return decision;
}

bool StartUsbUpdateRun(TargetHandle target, std::uint16_t device, const std::string& image_name,
                       std::thread* thread, UsbUpdateResult* failed) {
  const StartHooks hooks;
  int code = 0;
  bool posted = false;
  try {
    auto request = std::make_unique<UsbUpdateRequest>();
    request->target = target;
    request->device_index = device;
    request->image_name = image_name;
    code = StartUsbUpdateWorker(std::move(request), thread, &posted);
  } catch (const std::bad_alloc&) {
    code = ENOMEM;
  }
  if (code == 0 || posted) return true;
  failed->error = code;
  failed->device_index = device;
  failed->phase = kUsbPhaseNotChecked;
  try {
    failed->image_name = image_name;
  } catch (const std::bad_alloc&) {
    failed->image_name.clear();  // the texts then go without the name
  }
  return false;
}

void SetUsbRunStartHooksForTesting(void (*enter)(), void (*leave)()) {
  start_enter = enter;
  start_leave = leave;
}

}  // namespace flashwright
