// The update workers that are running, so that the program never ends under one: at exit a
// run is asked to stop after the record it is sending, and the program waits for its thread.
// (StartUpdateWorker in download_engine.h starts them.)
#pragma once

#include <chrono>
#include <cstddef>

#include "reader_link/commands.h"

namespace flashwright {

// The longest a worker takes to end once asked to stop: the record exchange under way (with a
// busy repeat, the first record's second copy and its own repeat, and the pauses after status
// 1), then the reset configuration of a run that had just sent its last record (version query
// and reset), and a second to spare for opening and closing the port.
inline constexpr int kWorkerStopLimitMs = 4 * kDownloadTimeLimitMs +
                                          3 * static_cast<int>(kDownloadPauseMs) +
                                          2 * kCommandTimeLimitMs + 1000;

// True once the program has asked the running workers to stop (until they have all ended).
// The engine looks at it before every record it sends.
bool UpdateStopRequested();

// Workers whose thread has not ended yet.
std::size_t RunningUpdateWorkers();

// Asks every running worker to stop after its current record and waits at most `limit` for
// their threads to end. True when none is left; the stop request then ends, so later runs go
// on normally. While a worker is left the request stays, and new runs end at once.
bool StopUpdateWorkers(std::chrono::milliseconds limit =
                           std::chrono::milliseconds(kWorkerStopLimitMs));

// The program's way out: StopUpdateWorkers with its full limit. A worker still running after
// that must not run under the program's teardown: the process then ends at once with
// `status` (the system closes the port).
void EndUpdateWorkersForExit(int status);

}  // namespace flashwright
