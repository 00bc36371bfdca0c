#include "app/cli/update_command.h"

#include <chrono>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "app/cli/port_wait.h"
#include "app/cli/reader_choice.h"
#include "shell/string_table.h"
#include "reader_link/reader_info.h"
#include "reader_update/download_engine.h"
#include "reader_update/firmware_source.h"
#include "reader_update/outcome_text.h"
#include "reader_update/package_reader.h"
#include "reader_update/begin_update.h"
#include "reader_update/run_progress_text.h"
#include "reader_update/update_run.h"
#include "platform/posted_messages.h"

namespace flashwright::cli {
namespace {

// The command-line program has no basic view: no " using Advanced View" suffix, and the
// "already updated" rule of the basic view applies only with --skip-if-current.
constexpr char kViewSuffix[] = "";
constexpr auto kPumpSlice = std::chrono::milliseconds(200);

// The check-only run ends with this message; its record carries the outcome in a job's fields.
struct CheckComplete : PostedRecord {
  UpdateJob job;
};

MessageId CheckCompleteMessage() {
  static const MessageId id = RegisterPostedMessage("CLI_CHECKCOMPLETE");
  return id;
}

JsonObject JobFields(const UpdateJob& job) {
  JsonObject fields;
  fields["port"] = job.port;
  fields["firmware"] = job.base_name;
  fields["package"] = job.is_package;
  fields["recover"] = job.recover;
  fields["result"] = job.result;
  fields["failed_in_check"] = job.failed_in_check;
  fields["phase"] = job.phase;
  fields["line"] = job.line;
  fields["reset_selection"] = TechnologyNames(job.reset_selection);
  fields["reset_result"] = job.reset_result;
  return fields;
}

// Shows the progress notes of a run until its completion record arrives.
class RunPump {
 public:
  RunPump(EventOutput& output, SignalWatcher* watcher) : output_(output), watcher_(watcher) {}

  TargetHandle handle() const { return target_.handle(); }
  void ResetBar() { bar_ = 0; }

  std::unique_ptr<PostedRecord> WaitFor(MessageId done) {
    for (;;) {
      if (watcher_ != nullptr && watcher_->TakeRequest()) output_.Notice(texts::kHoldOn);
      MessageId message = 0;
      std::unique_ptr<PostedRecord> record;
      if (!target_.Pump(&message, &record, kPumpSlice)) continue;
      if (message == done) return record;
      const auto* note = dynamic_cast<const ProgressNote*>(record.get());
      if (note == nullptr) continue;
      ProgressReport report;
      report.note = *note;
      if (message == VerifyProgressMessage()) {
        report.pass = "verify";
        report.status = VerifyStatusText(*note);
      } else if (message == ProgramProgressMessage()) {
        report.pass = "program";
        report.status = ProgramStatusText(*note);
        bar_ = ProgramBarPosition(*note);
      } else {
        continue;
      }
      report.position = bar_;
      output_.Progress(report);
    }
  }

 private:
  EventOutput& output_;
  SignalWatcher* watcher_;
  QueuePostTarget target_;
  int bar_ = 0;
};

// The check pass of one image file.
void CheckImage(const std::string& folder, const std::string& image, const std::uint16_t* bootloader,
                const std::uint8_t* flags, const ProgressContext& context, UpdateJob* outcome) {
  outcome->base_name = image;
  outcome->phase = kPhaseRead;
  outcome->line = 0;
  std::string path;
  if (!BuildFirmwarePath(folder, image, kImageExtension, &path)) {
    outcome->result = ENAMETOOLONG;
    return;
  }
  ImageFile file;
  if (const int opened = file.Open(path.c_str()); opened != 0) {
    outcome->result = opened;
    return;
  }
  PostVerifyProgress(&context, 0, file.Size(), 0, false);
  const PassResult pass = CheckFirmwareImage(bootloader, flags, &file, file.Size(), ReadImageFile,
                                             PostVerifyProgress, &context);
  outcome->result = pass.result;
  outcome->phase = pass.phase;
  outcome->line = pass.line;
}

// Checks the image, or every image of the package, as the workers would before programming.
// The first image is checked against what the reader reports now; later images of a package
// without the bootloader version, which the images before them may change.
UpdateJob CheckFirmware(const UpdateRequest& request, const RunReader& choice,
                        TargetHandle target) {
  UpdateJob outcome;
  outcome.port = static_cast<std::uint16_t>(choice.port);
  outcome.recover = request.recover;
  outcome.is_package = request.firmware.is_package;
  outcome.base_name = request.firmware.base_name;
  outcome.failed_in_check = true;
  outcome.phase = kPhaseRead;

  std::vector<std::string> images{request.firmware.base_name};
  if (request.firmware.is_package) {
    images = ReadPackage(request.firmware_folder, request.firmware.base_name);
    if (images.empty()) {
      outcome.result = kErrorInvalidParameter;
      return outcome;
    }
  }
  const int count = static_cast<int>(images.size());
  for (int i = 0; i < count; ++i) {
    ProgressContext context;
    context.target = target;
    context.image_index = i + 1;
    context.image_count = count;
    const std::uint16_t* bootloader = request.recover || i > 0 ? nullptr : &choice.bootloader;
    const std::uint8_t* flags = request.recover ? nullptr : &choice.flags;
    CheckImage(request.firmware_folder, images[static_cast<std::size_t>(i)], bootloader, flags,
               context, &outcome);
    if (outcome.result != 0) return outcome;
  }
  outcome.base_name = request.firmware.base_name;
  outcome.failed_in_check = false;
  return outcome;
}

int RunCheckOnly(const UpdateRequest& request, const RunReader& choice, EventOutput& output,
                 SignalWatcher* watcher) {
  RunPump pump(output, watcher);
  const TargetHandle target = pump.handle();
  std::thread checker([&request, &choice, target] {
    auto done = std::make_unique<CheckComplete>();
    done->job = CheckFirmware(request, choice, target);
    PostRecord(target, CheckCompleteMessage(), std::move(done));
  });
  auto done = TakeRecord<CheckComplete>(pump.WaitFor(CheckCompleteMessage()));
  checker.join();
  const UpdateJob& job = done->job;
  if (job.result != 0) {
    const UpdateOutcome outcome =
        ComposeUpdateOutcome(job, request.firmware_folder, kViewSuffix, choice.bootloader);
    return output.Outcome(kExitFailed, ui::PaneKind::kError, outcome.text, JobFields(job));
  }
  const std::string text =
      request.recover
          ? FormatText(texts::kCheckPassedRecover, job.base_name.c_str())
          : FormatText(texts::kCheckPassed, job.base_name.c_str(), choice.port);
  return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, text, JobFields(job));
}

// After a successful update: waits for the reader to answer again after its restart and tells
// its version with the outcome. A reader that stays silent ends the run on the time-out.
int ReportVersionAfter(const UpdateRequest& request, const UpdateJob& done,
                       const RunCompletion& completion, EventOutput& output) {
  const int port = static_cast<int>(done.port);
  output.Message(ui::PaneKind::kNeutral,
                 FormatText(texts::kWaitingForAnswer, request.wait_seconds, port));
  JsonObject fields = JobFields(done);
  std::uint32_t version = 0;
  if (!WaitForReaderAnswer(port, request.wait_seconds, &version)) {
    fields["waited"] = request.wait_seconds;
    fields["reason"] = "timeout";
    return output.Outcome(kExitTimeout, ui::PaneKind::kError,
                          completion.text + "\n" +
                              FormatText(texts::kNoAnswerAfter, port, request.wait_seconds),
                          fields);
  }
  const std::string version_after = VersionText(version);
  fields["version_after"] = version_after;
  fields["version_after_value"] = version;
  return output.Outcome(kExitSuccess, completion.kind,
                        completion.text + "\n" +
                            FormatText(texts::kVersionAfter, version_after.c_str()),
                        fields);
}

int RunUpdateJobs(const UpdateRequest& request, std::unique_ptr<UpdateJob> job,
                  const RunReader& choice, EventOutput& output, SignalWatcher* watcher) {
  RunPump pump(output, watcher);
  const MessageFields fields{request.firmware_folder, kViewSuffix};
  for (;;) {
    output.Message(ui::PaneKind::kNeutral, LoadString(IDS_UPDATE_IN_PROGRESS));
    pump.ResetBar();
    job->target = pump.handle();
    std::unique_ptr<UpdateJob> done;
    {
      ScopedSignalMode hold(watcher, SignalWatcher::Mode::Hold);
      StartUpdateWorker(std::move(job));
      done = TakeRecord<UpdateJob>(pump.WaitFor(UpdateCompleteMessage()));
    }
    if (!done) return output.Outcome(kExitFailed, ui::PaneKind::kError,
                                     LoadString(IDS_UPDATE_ERROR));
    RunCompletion completion = CompleteUpdateRun(
        *done, fields, choice.bootloader, request.reset_selection,
        [&request, &output](const UpdateOutcome& outcome) {
          return request.interactive &&
                 output.AskYesNo(RetryQuestionText(outcome) + texts::kRetryAnswer);
        });
    if (completion.retry) {
      job = std::move(completion.retry);
      continue;
    }
    if (done->result == 0 && request.wait_seconds > 0) {
      return ReportVersionAfter(request, *done, completion, output);
    }
    const int status = output.Outcome(done->result == 0 ? kExitSuccess : kExitFailed,
                                      completion.kind, completion.text, JobFields(*done));
    if (done->result == 0) return status;
    // The outcome names the windowed program's menu command; this is the same for the console.
    const bool recover_helps = !done->failed_in_check &&
                               (done->phase == kPhaseReadNext || done->phase == kPhaseSend);
    if (recover_helps && !output.json()) {
      output.Notice(FormatText(texts::kRecoverHint, static_cast<int>(done->port),
                               request.firmware.base_name.c_str()));
    }
    return status;
  }
}

}  // namespace

int RunUpdate(const UpdateRequest& request, EventOutput& output, SignalWatcher* watcher) {
  SetFirmwareFolder(request.firmware_folder);
  BeginUpdateRequest begin;
  begin.have_firmware = true;
  begin.firmware_listed = true;
  begin.base_name = request.firmware.base_name;
  begin.is_package = request.firmware.is_package;
  begin.port = request.port;
  begin.recover = request.recover;
  // An image the reader already has is told without a reset of its configuration: with
  // --skip-if-current nothing at all is sent to it.
  begin.basic_view = request.skip_if_current;
  begin.reset_selection = request.skip_if_current ? 0 : request.reset_selection;
  begin.limits = request.limits;
  begin.fields = MessageFields{request.firmware_folder, kViewSuffix};
  BeginUpdateResult started = BeginUpdate(begin, [&output](const RunReader& reader) {
    output.Status("reader", ReaderFields(reader), ReaderLine(reader));
  });
  if (started.step == BeginUpdateStep::AlreadyUpdated) {
    JsonObject fields = ReaderFields(started.reader);
    fields["firmware"] = request.firmware.base_name;
    fields["skipped"] = true;
    return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, started.text, fields);
  }
  if (started.job) started.job->reset_selection = request.reset_selection;
  if (started.step != BeginUpdateStep::Start) {
    if (started.reason == RefusalReason::Version) {
      JsonObject fields = ReaderFields(started.reader);
      fields["gate"] = started.verdict;
      return output.Outcome(kExitFailed, ui::PaneKind::kError, started.text, fields);
    }
    JsonObject fields;
    fields["port"] = started.reader.port;
    return output.Outcome(kExitNoReader, ui::PaneKind::kError, started.text, fields);
  }
  if (request.check_only) return RunCheckOnly(request, started.reader, output, watcher);
  return RunUpdateJobs(request, std::move(started.job), started.reader, output, watcher);
}

}  // namespace flashwright::cli
