#include "reader_update/update_run.h"

namespace flashwright {

std::unique_ptr<UpdateJob> NewUpdateJob(int port, std::uint16_t bootloader, std::uint8_t flags,
                                        bool recover, std::uint8_t reset_selection,
                                        bool is_package, const std::string& base_name) {
  auto job = std::make_unique<UpdateJob>();
  job->port = static_cast<std::uint16_t>(port);
  job->bootloader = bootloader;
  job->flags = flags;
  job->recover = recover;
  job->reset_selection = reset_selection;
  job->run_inline = false;
  job->is_package = is_package;
  job->range_start = 0;
  job->range_end = 100;
  job->image_index = 1;
  job->image_count = 1;
  job->base_name = base_name;
  return job;
}

std::unique_ptr<UpdateJob> RetryUpdateJob(const UpdateJob& failed, std::uint8_t reset_selection) {
  return NewUpdateJob(failed.port, kBootloaderUnknown, 0, true, reset_selection, false,
                      failed.base_name);
}

RunCompletion CompleteUpdateRun(const UpdateJob& job, const MessageFields& fields,
                                std::uint16_t cached_bootloader, std::uint8_t reset_selection,
                                const TryAgainQuestion& ask) {
  const UpdateOutcome outcome =
      ComposeUpdateOutcome(job, fields.firmware_folder, fields.view_suffix, cached_bootloader);
  RunCompletion completion;
  completion.kind = outcome.kind;
  completion.text = outcome.text;
  // A package is never tried again from here: its outcome already points to recover mode.
  if (outcome.offer_retry && !job.is_package) {
    if (ask && ask(outcome)) {
      completion.retry = RetryUpdateJob(job, reset_selection);
    } else {
      completion.text = AppendRetryRefusal(outcome.text, fields.view_suffix);
    }
  }
  return completion;
}

}  // namespace flashwright
