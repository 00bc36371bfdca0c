// The update run of the USB update view: Begin Update with its confirmation, and the progress
// and completion messages of the update worker.
#include "shell/command_ids.h"
#include "shell/control_ids.h"
#include "shell/shell_services.h"
#include "shell/string_table.h"
#include "usb_update/ezusb_fw_update_view.h"
#include "usb_update/usb_device_info.h"
#include "usb_update/usb_image.h"
#include "usb_update/usb_run_control.h"
#include "usb_update/usb_update_engine.h"
#include "usb_update/usb_update_texts.h"
#include "windowing/key_state.h"
#include "windowing/message_box.h"

namespace flashwright {

void CEZUSBFWUpdateView::BeginUpdate() {
  ShellServices* shell = Shell();
  if (shell == nullptr || run_active_) return;
  const UsbPromptState state = PromptState();
  UsbRunInputs inputs;
  inputs.image_name = SelectedImage();
  inputs.image_count = state.image_count;
  inputs.firmware_folder = state.firmware_folder;
  inputs.advanced = advanced_;
  inputs.control_key = ui::IsControlKeyDown();
  inputs.device = SelectedDevice();
  inputs.device_info = device_;
  inputs.markers = shell->UsbMarkers();
  inputs.ask = [this](UsbQuestion, const std::string& text) {
    return ui::MessageBox(FrameWindow(), text, LoadString(IDS_APP_TITLE),
                          ui::kButtonsYesNo | ui::kIconError | ui::kDefaultButton2) ==
           ui::kAnswerYes;
  };
  // A box's own event loop may deliver device notices; they are held until the answer is
  // in, so that the list the user confirmed stays as it was.
  confirming_ = true;
  const UsbBeginDecision decision = BeginUsbUpdate(inputs);
  confirming_ = false;
  const bool change_held = change_during_confirmation_;
  change_during_confirmation_ = false;

  if (decision.step != UsbBeginStep::kStart) {
    if (change_held) {
      ListDevicesAgain();
      form().Enable(kIdcUsbBeginUpdate, ComposeUsbPrompt(PromptState()).ready);
    }
    ShowMessage(decision.message.text, decision.message.kind, false);
    return;
  }

  EnableControls(false);
  shell->SetBusy(true);
  UnregisterDeviceNotice();
  ShowMessage(decision.message.text, decision.message.kind, true);
  ShowProgress(0, std::string());
  form().RedrawNow();

  run_active_ = true;
  change_during_run_ = change_held;
  // A worker that cannot be started posts its completion at once, so the completion handler
  // ends the update; only when not even that could be posted is the run completed here.
  UsbUpdateResult failed;
  if (!StartUsbUpdateRun(form().PostTarget(), static_cast<std::uint16_t>(inputs.device),
                         inputs.image_name, &worker_, &failed)) {
    FinishUpdate(failed);
  }
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
  FinishUpdate(*result);
}

void CEZUSBFWUpdateView::FinishUpdate(const UsbUpdateResult& result) {
  HideProgress();
  form().RedrawNow();
  ShellServices* shell = Shell();
  if (shell != nullptr) shell->SetTitleProgress(kCmdUsbDevice, -1);

  const UsbOutcome outcome = ComposeUsbOutcome(result, UsbFirmwareFolder());
  if (outcome.success) {
    ShowMessage(outcome.text, ui::PaneKind::kSuccess, false);
  } else {
    ShowMessage(outcome.text, ui::PaneKind::kError, true);
  }
  // The device notification is off during the update, so a device that went meanwhile (the
  // likeliest cause of a failure) would stay listed.
  const bool failed = result.error != 0;

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
