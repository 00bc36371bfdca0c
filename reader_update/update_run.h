// An update run from its job to its outcome: the job that starts it, the recover-mode job that
// "Try again?" starts, and the outcome the completion shows. The question comes in as a
// callback, so that the view's message box and the command line's prompt drive the same steps.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "reader_update/download_engine.h"
#include "reader_update/outcome_text.h"
#include "reader_update/view_messages.h"

namespace flashwright {

// A run of one image or package over the whole progress bar.
std::unique_ptr<UpdateJob> NewUpdateJob(int port, std::uint16_t bootloader, std::uint8_t flags,
                                        bool recover, std::uint8_t reset_selection,
                                        bool is_package, const std::string& base_name);

// The new attempt after a failure in programming: the same image in recover mode (bootloader
// unknown, no flags), with the front end's reset selection.
std::unique_ptr<UpdateJob> RetryUpdateJob(const UpdateJob& failed, std::uint8_t reset_selection);

// Asked with the outcome whose run may be tried again; true starts the new attempt.
using TryAgainQuestion = std::function<bool(const UpdateOutcome& outcome)>;

struct RunCompletion {
  ui::PaneKind kind = ui::PaneKind::kNeutral;
  std::string text;                  // the final message (after a "No", with message 151)
  std::unique_ptr<UpdateJob> retry;  // set when the user chose to try again
};

// The outcome of a finished job. `cached_bootloader` is the bootloader version the front end
// holds for the reader (0xFFFF when unknown, for example after "auto-detect").
RunCompletion CompleteUpdateRun(const UpdateJob& job, const MessageFields& fields,
                                std::uint16_t cached_bootloader, std::uint8_t reset_selection,
                                const TryAgainQuestion& ask);

}  // namespace flashwright
