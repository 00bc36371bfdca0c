// flashwright-cli update: the reader update of the reader update view and its run control.
// The reader is chosen and gated as the view does it, the download engine runs the update on
// its worker thread, and the outcome is told with the view's texts.
#pragma once

#include <cstdint>
#include <string>

#include "app/cli/event_output.h"
#include "app/cli/signal_watcher.h"
#include "discovery/version_gate.h"
#include "reader_update/firmware_folder.h"

namespace flashwright::cli {

struct UpdateRequest {
  FirmwareFileEntry firmware;   // an entry of the firmware folder's list
  std::string firmware_folder;  // also set as the process-wide firmware folder
  int port = 0;                 // 0: discovery chooses
  bool recover = false;         // the reader already waits for records
  std::uint8_t reset_selection = 3;  // reset configuration after success (bit 0 TagIt, bit 1 ISO)
  VersionLimits limits;
  bool check_only = false;      // run the check pass of every image and send nothing
  bool interactive = false;     // a user at the terminal may answer "Try again?"
  bool skip_if_current = false; // the basic view's "already updated" rule: send nothing
  int wait_seconds = 0;         // after a success, wait this long for the reader to answer
};

int RunUpdate(const UpdateRequest& request, EventOutput& output, SignalWatcher* watcher);

}  // namespace flashwright::cli
