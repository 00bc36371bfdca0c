// The texts that tell the user how an update run ended, shared by every front end.
#pragma once

#include <cstdint>
#include <string>

#include "reader_link/frame.h"
#include "reader_update/download_engine.h"
#include "windowing/message_pane.h"

namespace flashwright {

struct UpdateOutcome {
  ui::PaneKind kind = ui::PaneKind::kNeutral;
  // Lines joined with "\r\n". A failure ends with "(Err:%ld,Line:%lu)".
  std::string text;
  // The run failed while programming a single image where a new run in recover mode may
  // help: ask "Try again?" (RetryQuestionText). If the user declines, show
  // AppendRetryRefusal(text, suffix). For a package the refusal line is already in `text`.
  bool offer_retry = false;
};

// `view_suffix` is " using Advanced View" in the basic view and empty in the advanced one;
// `cached_bootloader` is the bootloader version the front end holds for the reader (0xFFFF
// unknown).
UpdateOutcome ComposeUpdateOutcome(const UpdateJob& job, const std::string& firmware_folder,
                                   const std::string& view_suffix,
                                   std::uint16_t cached_bootloader);

// The outcome text, an empty line and "Try again?".
std::string RetryQuestionText(const UpdateOutcome& outcome);
// Adds the line "Before trying again, ... Recover from Download Error%s." before the last line
// of `text` (the error line), so that the error line stays last.
std::string AppendRetryRefusal(const std::string& text, const std::string& view_suffix);

// "TagIt", "," and "ISO" as the selection has them.
std::string TechnologyNames(std::uint8_t selection);
// "Reset configuration (%s) successful." or "... returned error %ld." and, for a refusal by
// the reader (below -32), " Reader may not support the command.".
std::string ResetConfigurationText(LinkError result, std::uint8_t selection);

}  // namespace flashwright
