// The update run of the USB update view: Begin Update with its confirmation, and the progress
// and completion messages of the update worker.
#include <QComboBox>
#include <QEvent>
#include <QProgressBar>
#include <QPushButton>

#include "shell/command_ids.h"
#include "shell/shell_services.h"
#include "shell/string_table.h"
#include "usb_update/ezusb_fw_update_view.h"
#include "usb_update/usb_device_info.h"
#include "usb_update/usb_image.h"
#include "usb_update/usb_update_engine.h"
#include "usb_update/usb_update_texts.h"
#include "windowing/key_state.h"
#include "windowing/message_box.h"
#include "windowing/qt_post_target.h"

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
                UsbMessageKind::kError, false);
    return;
  }
  const bool control_key = ui::IsControlKeyDown();
  const std::int32_t device = SelectedDevice();
  if (device < 0) {
    ShowMessage(LoadString(IDS_USB_NO_DEVICES), UsbMessageKind::kError, false);
    return;
  }

  const UsbQuestionFunction ask = [this](UsbQuestion, const std::string& text) {
    return ui::MessageBox(this, text, LoadString(IDS_APP_TITLE),
                          ui::kButtonsYesNo | ui::kIconError | ui::kDefaultButton2) ==
           ui::kAnswerYes;
  };
  const UsbConfirmation confirmation =
      ConfirmUsbUpdate(device_, image_name, control_key, shell->UsbMarkers(), ask);

  if (control_key) {
    ShowMessage(UsbCheckReportText(confirmation, device_), UsbMessageKind::kNeutral, false);
    return;
  }
  if (!confirmation.ok) {
    ShowMessage(UsbNotCompatibleText(confirmation.reason), UsbMessageKind::kError, false);
    return;
  }
  const std::string device_name = UsbDeviceDisplayName(static_cast<std::uint16_t>(device));
  if (!advanced_ && IsAlreadyUpdated(device_, confirmation.image)) {
    ShowMessage(FormatString(IDS_USB_ALREADY_UPDATED, device_name.c_str()),
                UsbMessageKind::kSuccess, false);
    return;
  }

  EnableControls(false);
  shell->SetBusy(true);
  UnregisterDeviceNotice();
  ShowMessage(LoadString(IDS_UPDATE_IN_PROGRESS), UsbMessageKind::kNeutral, true);
  ShowProgress(0, std::string());
  if (window() != nullptr) window()->repaint();

  auto request = std::make_unique<UsbUpdateRequest>();
  request->target = post_target_->handle();
  request->device_index = static_cast<std::uint16_t>(device);
  request->image_name = image_name;
  run_active_ = true;
  change_during_run_ = false;
  // A worker that cannot be started posts its completion at once, so the completion handler
  // ends the update in every case.
  StartUsbUpdateWorker(std::move(request), &worker_);
}

void CEZUSBFWUpdateView::EnableControls(bool enabled) {
  begin_button_->setEnabled(enabled);
  device_list_->setEnabled(enabled);
  firmware_list_->setEnabled(enabled);
  refresh_button_->setEnabled(enabled);
}

void CEZUSBFWUpdateView::OnVerifyProgress(std::unique_ptr<UsbProgress> progress) {
  ShowProgress(0, UsbVerifyStatusText(*progress));
  if (window() != nullptr) window()->repaint();
}

void CEZUSBFWUpdateView::OnProgramProgress(std::unique_ptr<UsbProgress> progress) {
  const int percent =
      progress->done == 0 ? 0 : UsbProgramPercent(progress->done, progress->total);
  ShowProgress(percent, UsbProgramStatusText(*progress));
  if (window() != nullptr) window()->repaint();
  if (Shell() != nullptr) {
    Shell()->SetTitleProgress(kCmdUsbDevice, static_cast<std::int16_t>(percent));
  }
}

void CEZUSBFWUpdateView::OnUpdateComplete(std::unique_ptr<UsbUpdateResult> result) {
  HideProgress();
  if (window() != nullptr) window()->repaint();
  ShellServices* shell = Shell();
  if (shell != nullptr) shell->SetTitleProgress(kCmdUsbDevice, -1);

  const UsbOutcome outcome = ComposeUsbOutcome(*result, UsbFirmwareFolder());
  if (outcome.success) {
    ShowMessage(outcome.text, UsbMessageKind::kSuccess, false);
  } else {
    ShowMessage(outcome.text, UsbMessageKind::kError, true);
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
    begin_button_->setEnabled(ComposeUsbPrompt(PromptState()).ready);
  }
}

TargetHandle CEZUSBFWUpdateView::PostTargetHandle() const { return post_target_->handle(); }

bool CEZUSBFWUpdateView::event(QEvent* event) {
  ui::PostedRecordEvent* posted = ui::PostedRecordEvent::From(event);
  if (posted == nullptr) return ui::FormView::event(event);

  const MessageId message = posted->message();
  // A record of an unexpected kind, or one that comes when no update of this view runs, is
  // freed here rather than misread.
  if (!run_active_) {
    posted->TakeRecord();
  } else if (message == UsbUpdateCompleteMessage()) {
    if (auto result = TakeRecord<UsbUpdateResult>(posted->TakeRecord())) {
      OnUpdateComplete(std::move(result));
    }
  } else if (auto progress = TakeRecord<UsbProgress>(posted->TakeRecord())) {
    if (message == UsbVerifyProgressMessage()) OnVerifyProgress(std::move(progress));
    else if (message == UsbProgramProgressMessage()) OnProgramProgress(std::move(progress));
  }
  return true;
}

}  // namespace flashwright
