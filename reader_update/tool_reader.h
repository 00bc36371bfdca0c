// Which reader a reader tool talks to: the selected COM port with the version its reader
// reports, or the reader that discovery finds when "auto-detect" (or nothing) is selected.
#pragma once

#include <cstdint>
#include <string>

#include "discovery/version_gate.h"
#include "reader_update/begin_update.h"

namespace flashwright {

struct ToolReaderChoice {
  bool found = false;   // a reader with a version: the tool may open
  RunReader reader;
  LinkError discovery_result = 0;  // of the discovery, when it ran
  std::string failure;  // otherwise: message 141 with the error, 145, or "No reader found."
};

// `reader_known` with `version`: what the front end already read for `port` (the view's
// cache); without it the reader on a COM port is asked here.
ToolReaderChoice ChooseToolReader(int port, bool reader_known, std::uint32_t version,
                                  const VersionLimits& limits);

}  // namespace flashwright
