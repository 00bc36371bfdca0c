// The update run of the reader update view: Begin Update, the progress and completion
// notices of the worker, and the Reset Configuration button.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "app/command_ids.h"
#include "app/kindler_app.h"
#include "app/main_frame.h"
#include "app/string_table.h"
#include "windowing/key_state.h"
#include "windowing/message_box.h"
#include "windowing/qt_post_target.h"
#include "reader_link/commands.h"
#include "reader_link/reader_info.h"
#include "reader_link/transport.h"
#include "reader_update/download_engine.h"
#include "reader_update/firmware_folder.h"
#include "reader_update/kindler_view.h"
#include "reader_update/outcome_text.h"
#include "reader_update/progress_position.h"
#include "reader_update/reader_discovery.h"
#include "reader_update/reader_view_state.h"
#include "reader_update/view_texts.h"

namespace flashwright {

namespace {

bool EndsWithIgnoringCase(const std::string& text, const std::string& ending) {
  if (ending.size() > text.size()) return false;
  for (std::size_t i = 0; i < ending.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - ending.size() + i])) !=
        std::tolower(static_cast<unsigned char>(ending[i])))
      return false;
  }
  return true;
}

// The version's three numbers written one after another, as image names carry them.
std::string VersionDigits(std::uint32_t version) {
  return FormatText("%u%u%u", (version >> 16) & 0xFFu, (version >> 8) & 0xFFu, version & 0xFFu);
}

std::string ImagePrefix(std::int32_t index, std::int32_t count) {
  return count > 1 ? FormatText(texts::kImageCountPrefix, static_cast<int>(index),
                                static_cast<int>(count))
                   : std::string();
}

}  // namespace

void CKindlerView::OnBeginUpdate() {
  std::string base_name;
  bool is_package = false;
  if (!SelectedFirmware(&base_name, &is_package)) {
    const int id = firmware_selector_->count() > 0 ? IDS_SELECT_FIRMWARE : IDS_NO_FIRMWARE_FILES;
    ShowMessage(ComposeMessage(id, 0, 0, std::string()), MessageKind::Error, false);
    return;
  }

  const bool control_held = ui::IsControlKeyDown();
  int port = SelectedPort();
  std::uint32_t version = version_;
  std::uint16_t bootloader = bootloader_;
  std::uint8_t flags = flags_;

  if (port == 0 && !RecoverMode()) {
    const ReaderDiscovery found = DiscoverReader(App());
    if (control_held) {
      std::string report;
      if (found.port <= 0) {
        report = LoadString(IDS_NO_READER_FOUND);
      } else if (found.result != 0) {
        report = FormatText(texts::kFoundVersionError, static_cast<long>(found.result),
                            found.port, found.source.c_str());
      } else {
        report = FormatText(texts::kFoundVersion, static_cast<unsigned long>(found.version),
                            static_cast<unsigned>(found.bootloader),
                            static_cast<unsigned>(found.flags), found.port, found.source.c_str());
        const int gate = App().CheckReaderVersion(found.version);
        if (gate < 0) report += texts::kTooOldToUpdate;
        if (gate > 0) report += texts::kTooNewToUpdate;
      }
      ShowMessage(report, MessageKind::Information, false);
      return;
    }
    if (found.result != 0) {
      ShowMessage(FormatString(IDS_CANNOT_DETECT_READER, found.port) + kLineBreak +
                      FormatText(texts::kErrorLine, static_cast<long>(found.result)),
                  MessageKind::Error, false);
      return;
    }
    if (found.port > 0) {
      port = found.port;
      version = found.version;
      bootloader = found.bootloader;
      flags = found.flags;
    }
  }

  if (port <= 0) {
    ShowMessage(LoadString(IDS_NO_READER_FOUND), MessageKind::Error, false);
    return;
  }

  if (!RecoverMode()) {
    const int gate = App().CheckReaderVersion(version);
    if (gate != 0) {
      ShowMessage(ComposeMessage(gate < 0 ? IDS_CANNOT_UPDATE_VERSION : IDS_UPDATE_NOT_ALLOWED,
                                 port, version, std::string()),
                  MessageKind::Error, false);
      return;
    }
    if (!advanced_ && !is_package && EndsWithIgnoringCase(base_name, VersionDigits(version))) {
      std::string text = ComposeMessage(IDS_ALREADY_UPDATED, port, version, std::string());
      if (reset_selection_ != 0 && version > kSettingsVersionFloor) {
        LinkError result = OpenReaderPort(static_cast<std::uint16_t>(port));
        if (result == 0) {
          result = ResetConfiguration(reset_selection_);
          CloseReaderPort();
        }
        text += kLineBreak;
        text += ResetConfigurationText(result, reset_selection_);
      }
      ShowMessage(text, MessageKind::Success, false);
      return;
    }
  }

  auto job = std::make_unique<UpdateJob>();
  job->port = static_cast<std::uint16_t>(port);
  job->bootloader = bootloader;
  job->flags = flags;
  job->recover = RecoverMode();
  job->reset_selection = reset_selection_;
  job->run_inline = false;
  job->is_package = is_package;
  job->range_start = 0;
  job->range_end = 100;
  job->image_index = 1;
  job->image_count = 1;
  job->base_name = base_name;

  begin_button_->setEnabled(false);
  tagit_box_->setEnabled(false);
  iso_box_->setEnabled(false);
  reset_button_->setEnabled(false);
  port_selector_->setEnabled(false);
  firmware_selector_->setEnabled(false);
  App().SetBusy(true);
  StartRun(std::move(job));
}

void CKindlerView::StartRun(std::unique_ptr<UpdateJob> job) {
  ShowMessage(LoadString(IDS_UPDATE_IN_PROGRESS), MessageKind::Information, true);
  const std::string empty;
  ShowProgress(0, &empty, false);
  job->target = post_target_->handle();
  run_active_ = true;
  // A worker that cannot be started completes the job at once, so the completion handler
  // ends the run in every case.
  StartUpdateWorker(std::move(job));
}

void CKindlerView::OnVerifyProgress(std::unique_ptr<ProgressNote> note) {
  std::string text = ImagePrefix(note->image_index, note->image_count);
  text = FormatText(texts::kVerifyLine, text.c_str(), static_cast<unsigned long>(note->line));
  if (note->last != 0) text += texts::kFinishing;
  ShowProgress(kProgressKeep, &text, true);
}

void CKindlerView::OnProgramProgress(std::unique_ptr<ProgressNote> note) {
  const std::string prefix = ImagePrefix(note->image_index, note->image_count);
  std::string text = note->line == 0
                         ? FormatText(texts::kInitializing, prefix.c_str())
                         : FormatText(texts::kProgramLine, prefix.c_str(),
                                      static_cast<unsigned long>(note->line));
  if (note->last != 0) text += texts::kFinishing;
  const int position = ProgressPosition(note->range_start, note->range_end, note->line,
                                        note->consumed, note->total);
  ShowProgress(position, &text, true);
  Frame()->SetTitleProgress(kCmdRfidReader, static_cast<std::int16_t>(position));
}

void CKindlerView::OnUpdateComplete(std::unique_ptr<UpdateJob> job) {
  ShowProgress(kProgressHide, nullptr, false);
  Frame()->SetTitleProgress(kCmdRfidReader, -1);

  const UpdateOutcome outcome =
      ComposeUpdateOutcome(*job, FirmwareFolder(), ViewSuffix(), bootloader_);
  bool retry = false;
  if (outcome.kind == MessageKind::Success) {
    ShowMessage(outcome.text, MessageKind::Success, false);
    if (advanced_) FillPortSelector(job->port);
    ReadReaderInformation(SelectedPort());
  } else {
    ShowMessage(outcome.text, MessageKind::Error, true);
    if (outcome.offer_retry && !job->is_package) {
      retry = ui::MessageBox(this, RetryQuestionText(outcome), LoadString(IDS_APP_TITLE),
                             ui::kButtonsYesNo | ui::kIconError) == ui::kAnswerYes;
      if (!retry) {
        ShowMessage(AppendRetryRefusal(outcome.text, ViewSuffix()), MessageKind::Error, true);
      }
    }
  }

  if (retry) {
    auto again = std::make_unique<UpdateJob>();
    again->port = job->port;
    again->bootloader = kBootloaderUnknown;
    again->flags = 0;
    again->recover = true;
    again->reset_selection = reset_selection_;
    again->is_package = false;
    again->range_start = 0;
    again->range_end = 100;
    again->image_index = 1;
    again->image_count = 1;
    again->base_name = job->base_name;
    job.reset();
    StartRun(std::move(again));
    return;
  }
  job.reset();
  EndRun();
}

void CKindlerView::EndRun() {
  run_active_ = false;
  begin_button_->setEnabled(true);
  const bool reset_allowed = !RecoverMode() && version_ > kSettingsVersionFloor;
  tagit_box_->setEnabled(reset_allowed);
  iso_box_->setEnabled(reset_allowed);
  reset_button_->setEnabled(reset_allowed && reset_selection_ != 0);
  port_selector_->setEnabled(true);
  firmware_selector_->setEnabled(true);
  ApplyLayout(advanced_);
  App().SetBusy(false);
}

void CKindlerView::OnResetConfiguration() {
  const int port = SelectedPort();
  LinkError result = port > 0 ? OpenReaderPort(static_cast<std::uint16_t>(port)) : PortNotOpen;
  // Only a port this handler opened is closed: a failed open may mean another owner holds it.
  if (result == 0) {
    result = ResetConfiguration(reset_selection_);
    CloseReaderPort();
  }
  ShowResetConfigurationBox(result, reset_selection_);
}

void CKindlerView::ShowResetConfigurationBox(std::int32_t result, std::uint8_t selection) {
  ui::MessageBox(this, ResetConfigurationText(result, selection), LoadString(IDS_APP_TITLE),
                 result != 0 ? ui::kIconError : 0u);
}

TargetHandle CKindlerView::PostTargetHandle() const { return post_target_->handle(); }

bool CKindlerView::event(QEvent* event) {
  ui::PostedRecordEvent* posted = ui::PostedRecordEvent::From(event);
  if (!posted) return ui::FormView::event(event);

  std::unique_ptr<PostedRecord> record = posted->TakeRecord();
  const MessageId message = posted->message();
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
  return true;
}

}  // namespace flashwright
