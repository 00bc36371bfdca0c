// flashwright-cli diag: the diagnostics tag read. An inventory of the tags in the reader's
// field and block 0 of each, once, or every 500 ms until Ctrl-C.
#pragma once

#include "app/cli/event_output.h"
#include "app/cli/signal_watcher.h"

namespace flashwright::cli {

inline constexpr int kContinuousPeriodMs = 500;

int RunDiagnostics(int port, bool continuous, EventOutput& output, SignalWatcher* watcher);

}  // namespace flashwright::cli
