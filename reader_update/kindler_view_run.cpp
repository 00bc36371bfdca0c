// The update run of the reader update view: Begin Update, the progress and completion
// notices of the worker, and the Reset Configuration button.
#include "reader_link/commands.h"
#include "reader_update/begin_update.h"
#include "reader_update/download_engine.h"
#include "reader_update/kindler_view.h"
#include "reader_update/outcome_text.h"
#include "reader_update/reader_reset.h"
#include "reader_update/reader_view_state.h"
#include "reader_update/run_progress_text.h"
#include "reader_update/update_run.h"
#include "shell/command_ids.h"
#include "shell/control_ids.h"
#include "shell/shell_services.h"
#include "shell/string_table.h"
#include "windowing/key_state.h"
#include "windowing/message_box.h"

namespace flashwright {

void CKindlerView::OnBeginUpdate() {
  BeginUpdateRequest request;
  request.have_firmware = SelectedFirmware(&request.base_name, &request.is_package);
  request.firmware_listed = form().ItemCount(kIdcFirmwareSelector) > 0;
  request.port = SelectedPort();
  request.reader_known = true;
  request.version = version_;
  request.bootloader = bootloader_;
  request.flags = flags_;
  request.recover = RecoverMode();
  request.basic_view = !advanced_;
  request.control_held = ui::IsControlKeyDown();
  request.reset_selection = reset_selection_;
  request.limits = App().Options().limits;
  request.fields = Fields();

  BeginUpdateResult begin = BeginUpdate(request);
  if (begin.step != BeginUpdateStep::Start) {
    ShowMessage(begin.text, begin.kind, false);
    return;
  }

  for (int id : {kIdcBeginUpdate, kIdcTagIt, kIdcIso, kIdcResetConfiguration, kIdcPortSelector,
                 kIdcFirmwareSelector}) {
    form().Enable(id, false);
  }
  App().SetBusy(true);
  StartRun(std::move(begin.job));
}

void CKindlerView::StartRun(std::unique_ptr<UpdateJob> job) {
  ShowMessage(LoadString(IDS_UPDATE_IN_PROGRESS), ui::PaneKind::kNeutral, true);
  const std::string empty;
  ShowProgress(0, &empty, false);
  job->target = form().PostTarget();
  run_active_ = true;
  // A worker that cannot be started completes the job at once, so the completion handler
  // ends the run in every case.
  StartUpdateWorker(std::move(job));
}

void CKindlerView::OnVerifyProgress(std::unique_ptr<ProgressNote> note) {
  const std::string text = VerifyStatusText(*note);
  ShowProgress(kProgressKeep, &text, true);
}

void CKindlerView::OnProgramProgress(std::unique_ptr<ProgressNote> note) {
  const std::string text = ProgramStatusText(*note);
  const int position = ProgramBarPosition(*note);
  ShowProgress(position, &text, true);
  App().SetTitleProgress(kCmdRfidReader, static_cast<std::int16_t>(position));
}

void CKindlerView::OnUpdateComplete(std::unique_ptr<UpdateJob> job) {
  ShowProgress(kProgressHide, nullptr, false);
  App().SetTitleProgress(kCmdRfidReader, -1);

  RunCompletion completion = CompleteUpdateRun(
      *job, Fields(), bootloader_, reset_selection_, [this](const UpdateOutcome& outcome) {
        // The failure stays readable behind the question.
        ShowMessage(outcome.text, ui::PaneKind::kError, true);
        return ui::MessageBox(FrameWindow(), RetryQuestionText(outcome), LoadString(IDS_APP_TITLE),
                              ui::kButtonsYesNo | ui::kIconError) == ui::kAnswerYes;
      });
  if (completion.retry) {
    job.reset();
    StartRun(std::move(completion.retry));
    return;
  }
  if (completion.kind == ui::PaneKind::kSuccess) {
    ShowMessage(completion.text, ui::PaneKind::kSuccess, false);
    if (advanced_) FillPortSelector(job->port);
    ReadReaderInformation(SelectedPort());
  } else {
    ShowMessage(completion.text, ui::PaneKind::kError, true);
  }
  job.reset();
  EndRun();
}

void CKindlerView::EndRun() {
  run_active_ = false;
  ui::Form& controls = form();
  controls.Enable(kIdcBeginUpdate, true);
  const bool reset_allowed = !RecoverMode() && version_ > kSettingsVersionFloor;
  controls.Enable(kIdcTagIt, reset_allowed);
  controls.Enable(kIdcIso, reset_allowed);
  controls.Enable(kIdcResetConfiguration, reset_allowed && reset_selection_ != 0);
  controls.Enable(kIdcPortSelector, true);
  controls.Enable(kIdcFirmwareSelector, true);
  ApplyLayout(advanced_);
  App().SetBusy(false);
}

void CKindlerView::OnResetConfiguration() {
  ShowResetConfigurationBox(ResetReaderConfiguration(SelectedPort(), reset_selection_),
                            reset_selection_);
}

void CKindlerView::ShowResetConfigurationBox(std::int32_t result, std::uint8_t selection) {
  ui::MessageBox(FrameWindow(), ResetConfigurationText(result, selection), LoadString(IDS_APP_TITLE),
                 result != 0 ? ui::kIconError : 0u);
}

TargetHandle CKindlerView::PostTargetHandle() const { return form().PostTarget(); }

void CKindlerView::OnPosted(MessageId message, std::unique_ptr<PostedRecord> record) {
  // A record of an unexpected kind is freed here rather than misread.
  if (message == UpdateCompleteMessage()) {
    if (auto* job = dynamic_cast<UpdateJob*>(record.get())) {
      record.release();
      OnUpdateComplete(std::unique_ptr<UpdateJob>(job));
    }
  } else if (auto* note = dynamic_cast<ProgressNote*>(record.get())) {
    record.release();
    std::unique_ptr<ProgressNote> owned(note);
    if (message == VerifyProgressMessage()) OnVerifyProgress(std::move(owned));
    else if (message == ProgramProgressMessage()) OnProgramProgress(std::move(owned));
  }
}

}  // namespace flashwright
