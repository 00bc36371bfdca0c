// The reader update view's prompt: what the message pane says about the current choices of
// port and firmware, whether Begin Update may be pressed, and in which colour the text shows.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "reader_update/outcome_text.h"
#include "reader_update/view_messages.h"

namespace flashwright {

struct ReaderPromptInput {
  int port = -1;                 // the selected port: -1 none, 0 auto-detect, n for COMn
  bool have_firmware = false;    // an image or package is selected
  bool firmware_listed = false;  // the firmware list holds at least one entry
  bool recover_mode = false;
  std::uint32_t version = 0;     // of the reader on the selected port, 0 when none answered
  std::optional<std::int32_t> wanted_port;      // the port the command line asked for
  std::optional<std::string> wanted_firmware;   // the firmware the command line asked for
};

struct ReaderPrompt {
  std::string text;  // messages joined by CR LF
  ui::PaneKind kind = ui::PaneKind::kNeutral;
  bool ready = false;  // Begin Update may be pressed
};

// `check_version` is the version gate: -1 too old, +1 too new, 0 acceptable.
ReaderPrompt ComposeReaderPrompt(const ReaderPromptInput& input,
                                 const std::function<int(std::uint32_t)>& check_version,
                                 const MessageFields& fields);

}  // namespace flashwright
