// The start of every reader tool command: the reader is chosen as the reader update view's
// Tools menu chooses it, and the tool state gets its port, version and version text.
#pragma once

#include "app/cli/event_output.h"
#include "reader_tools/tool_port_state.h"

namespace flashwright::cli {

// 0 with `state` set up and the "Port:" and "Version:" lines shown, or the exit status of a
// failure already told.
int StartToolSession(int port, EventOutput& output, ToolPortState* state);

// The reader's version for the JSON events of the tools.
JsonObject ToolFields(const ToolPortState& state);

}  // namespace flashwright::cli
