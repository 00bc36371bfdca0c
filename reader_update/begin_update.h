// The steps of Begin Update before a run starts: which firmware and which reader (the selected
// port, or discovery for "auto-detect"), the report that holding Ctrl asks for instead of a
// run, the version gate, and the test whether the reader already carries the image. The
// windowed view and the command-line program both take their decision here and only show it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "discovery/version_gate.h"
#include "reader_link/commands.h"
#include "reader_link/frame.h"
#include "reader_update/download_engine.h"
#include "reader_update/outcome_text.h"
#include "reader_update/view_messages.h"

namespace flashwright {

struct BeginUpdateRequest {
  // The selected firmware; without one, whether the firmware list has any entry.
  bool have_firmware = false;
  bool firmware_listed = false;
  std::string base_name;
  bool is_package = false;

  int port = -1;  // the selected port: 0 "auto-detect", -1 none

  // What the front end already knows of the reader on `port` (the view's cache, read when the
  // port was selected). Without it the reader on a COM port is asked here: a port that does not
  // exist or a reader that does not answer refuses the run.
  bool reader_known = false;
  std::uint32_t version = 0;
  std::uint16_t bootloader = kBootloaderUnknown;
  std::uint8_t flags = 0;

  bool recover = false;          // recover mode: no discovery, no gate, a recover-mode run
  bool basic_view = false;       // the basic view's "already updated" test applies
  bool control_held = false;     // with "auto-detect": report what discovery finds, start nothing
  std::uint8_t reset_selection = 0;
  VersionLimits limits;
  MessageFields fields;          // firmware folder and view suffix of the messages
};

enum class BeginUpdateStep {
  Refused,         // a message tells why no run starts
  Reported,        // Ctrl was held: the discovery report, nothing started
  AlreadyUpdated,  // the reader carries the image (and its configuration may have been reset)
  Start,           // `job` is the run to start
};

enum class RefusalReason { None, NoFirmware, NoReader, Version };

// The reader the run is for, as far as it is known.
struct RunReader {
  int port = 0;
  std::uint32_t version = 0;
  std::uint16_t bootloader = kBootloaderUnknown;
  std::uint8_t flags = 0;
  bool discovered = false;
  std::string source;  // discovery's source text
};

struct BeginUpdateResult {
  BeginUpdateStep step = BeginUpdateStep::Refused;
  RefusalReason reason = RefusalReason::None;
  ui::PaneKind kind = ui::PaneKind::kError;
  std::string text;  // the message to show (empty for Start)
  RunReader reader;
  int verdict = 0;   // the version gate's verdict (-1 too old, +1 too new)
  std::unique_ptr<UpdateJob> job;
};

// Called once the reader to update is known and before the gate looks at it (not in recover
// mode, where the reader is not asked anything).
using ReaderNotice = std::function<void(const RunReader& reader)>;

BeginUpdateResult BeginUpdate(const BeginUpdateRequest& request,
                              const ReaderNotice& notice = {});

// The basic view's test: an image (not a package) whose base name ends, letter case ignored,
// with the version's three numbers written one after another ("%hu%hu%hu").
bool FirmwareAlreadyLoaded(const std::string& base_name, bool is_package, std::uint32_t version);

}  // namespace flashwright
