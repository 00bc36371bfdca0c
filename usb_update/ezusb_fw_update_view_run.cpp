// The update run of the USB update view: Begin Update with its confirmation, and the progress
// and completion messages of the update worker.
#include "shell/command_ids.h"
#include "shell/control_ids.h"
#include "shell/shell_services.h"
#include "shell/string_table.h"
#include "usb_update/ezusb_fw_update_view.h"
#include "usb_update/usb_device_info.h"
#include "usb_update/usb_image.h"
#include "usb_update/usb_update_engine.h"
#include "usb_update/usb_update_texts.h"
#include "windowing/key_state.h"
#include "windowing/message_box.h"

namespace flashwright {

void CEZUSBFWUpdateView::BeginUpdate() {
  ShellServices* shell = Shell();
  if (shell == nullptr || run_active_) return;
  const std::string image_name = SelectedImage();
  if (image_name.empty()) {
    const UsbPromptState state = PromptState();
    ShowMessage(state.image_count > 0
                    ? FormatString(IDS_SELECT_FIRMWARE,
                                   advanced_ ? "" : LoadString(IDS_ADVANCED_VIEW_SUFFIX))
                    : FormatString(IDS_NO_FIRMWARE_FILES, state.firmware_folder.c_str()),
                ui::PaneKind::kError, false);
    return;
  }
  const bool control_key = ui::IsControlKeyDown();
  const std::int32_t device = SelectedDevice();
  if (device < 0) {
    ShowMessage(LoadString(IDS_USB_NO_DEVICES), ui::PaneKind::kError, false);
    return;
  }

  const UsbQuestionFunction ask = [this](UsbQuestion, const std::string& text) {
    return ui::MessageBox(FrameWindow(), text, LoadString(IDS_APP_TITLE),
                          ui::kButtonsYesNo | ui::kIconError | ui::kDefaultButton2) ==
           ui::kAnswerYes;
  };
  const UsbConfirmation confirmation =
      ConfirmUsbUpdate(device_, image_name, control_key, shell->UsbMarkers(), ask);

  if (control_key) {
    ShowMessage(UsbCheckReportText(confirmation, device_), ui::PaneKind::kNeutral, false);
    return;
  }
  if (!confirmation.ok) {
    ShowMessage(UsbNotCompatibleText(confirmation.reason), ui::PaneKind::kError, false);
    return;
  }
  const std::string device_name = UsbDeviceDisplayName(static_cast<std::uint16_t>(device));
  if (!advanced_ && IsAlreadyUpdated(device_, confirmation.image)) {
    ShowMessage(FormatString(IDS_USB_ALREADY_UPDATED, device_name.c_str()),
                ui::PaneKind::kSuccess, false);
    return;
  }

  EnableControls(false);
  shell->SetBusy(true);
  UnregisterDeviceNotice();
  ShowMessage(LoadString(IDS_UPDATE_IN_PROGRESS), ui::PaneKind::kNeutral, true);
  ShowProgress(0, std::string());
  form().RedrawNow();

  auto request = std::make_unique<UsbUpdateRequest>();
  request->target = form().PostTarget();
  request->device_index = static_cast<std::uint16_t>(device);
  request->image_name = image_name;
  run_active_ = true;
  change_during_run_ = false;
  // A worker that cannot be started posts its completion at once, so the completion handler
  // ends the update in every case.
  StartUsbUpdateWorker(std::move(request), &worker_);
}

void CEZUSBFWUpdateView::EnableControls(bool enabled) {
  ui::Form& controls = form();
  for (int id : {kIdcUsbBeginUpdate, kIdcUsbDeviceList, kIdcUsbFirmwareList, kIdcUsbRefresh})
    controls.Enable(id, enabled);
}

void CEZUSBFWUpdateView::OnVerifyProgress(std::unique_ptr<UsbProgress> progress) {
  ShowProgress(0, UsbVerifyStatusText(*progress));
  form().RedrawNow();
}

void CEZUSBFWUpdateView::OnProgramProgress(std::unique_ptr<UsbProgress> progress) {
  const int percent =
      progress->done == 0 ? 0 : UsbProgramPercent(progress->done, progress->total);
  ShowProgress(percent, UsbProgramStatusText(*progress));
  form().RedrawNow();
  if (Shell() != nullptr) {
    Shell()->SetTitleProgress(kCmdUsbDevice, static_cast<std::int16_t>(percent));
  }
}

void CEZUSBFWUpdateView::OnUpdateComplete(std::unique_ptr<UsbUpdateResult> result) {
  HideProgress();
  form().RedrawNow();
  ShellServices* shell = Shell();
  if (shell != nullptr) shell->SetTitleProgress(kCmdUsbDevice, -1);

  const UsbOutcome outcome = ComposeUsbOutcome(*result, UsbFirmwareFolder());
  if (outcome.success) {
    ShowMessage(outcome.text, ui::PaneKind::kSuccess, false);
  } else {
    ShowMessage(outcome.text, ui::PaneKind::kError, true);
  }
  // The device notification is off during the update, so a device that went meanwhile (the
  // likeliest cause of a failure) would stay listed.
  const bool failed = result->error != 0;
  result.reset();

  // The completion is the worker's last act: what is left of it ends at once.
  if (worker_.joinable()) worker_.join();
  run_active_ = false;
  EnableControls(true);
  if (shell != nullptr) shell->SetBusy(false);
  RegisterDeviceNotice();

  if (change_during_run_ || failed) {
    // Devices may have come or gone while the worker owned the current device; the list is
    // read again now, and the outcome stays in the message area.
    change_during_run_ = false;
    ListDevicesAgain();
    form().Enable(kIdcUsbBeginUpdate, ComposeUsbPrompt(PromptState()).ready);
  }
}

TargetHandle CEZUSBFWUpdateView::PostTargetHandle() const { return form().PostTarget(); }

void CEZUSBFWUpdateView::OnPosted(MessageId message, std::unique_ptr<PostedRecord> record) {
  // A record of an unexpected kind, or one that comes when no update of this view runs, is
  // freed here rather than misread.
  if (!run_active_) return;
  if (message == UsbUpdateCompleteMessage()) {
    if (auto result = TakeRecord<UsbUpdateResult>(std::move(record))) {
      OnUpdateComplete(std::move(result));
    }
  } else if (auto progress = TakeRecord<UsbProgress>(std::move(record))) {
    if (message == UsbVerifyProgressMessage()) OnVerifyProgress(std::move(progress));
    else if (message == UsbProgramProgressMessage()) OnProgramProgress(std::move(progress));
  }
}

}  // namespace flashwright
