// flashwright-cli ports: the COM ports that exist, what the device-setup model knows of each
// (hardware ID, friendly name), and what reader port discovery would choose.
#pragma once

#include "app/cli/event_output.h"

namespace flashwright::cli {

// The ports the reader update view lists: COM 1 to 32.
inline constexpr int kListedPorts = 32;

// With `discover` the list ends with what reader port discovery would choose (it talks to the
// readers); without, only the ports are listed (shell completion asks this way).
int RunPorts(EventOutput& output, bool discover = true);

}  // namespace flashwright::cli
