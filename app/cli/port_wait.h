// The reader port that --port names, and waiting for it (--wait): a COM number, "auto", or a
// device path that the port map turns into the COM number discovery, info and update all show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/cli/event_output.h"

namespace flashwright::cli {

// The COM number `argument` names now: 0 for "auto", the number itself, or the number of the
// port whose map entry leads to the device of a path. None for a path that leads to no port.
std::optional<int> ResolvePortArgument(const std::string& argument);

// Finds the port of `argument`, waiting up to `wait_seconds` for it to appear when that is
// above 0 (a progress line says so; "auto" waits for any COM port). kExitSuccess with `*port`
// set, or the outcome already written: kExitTimeout after a wait, kExitNoReader without one.
int FindPort(const std::string& argument, int wait_seconds, EventOutput& output, int* port);

// After an update: asks the reader on `port` for its version until it answers or
// `wait_seconds` have passed. True with `*version` when it answered.
bool WaitForReaderAnswer(int port, int wait_seconds, std::uint32_t* version);

}  // namespace flashwright::cli
