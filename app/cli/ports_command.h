// flashwright-cli ports: the COM ports that exist, what the device-setup model knows of each
// (hardware ID, friendly name), and what reader port discovery would choose.
#pragma once

#include "app/cli/event_output.h"

namespace flashwright::cli {

// The ports the reader update view lists: COM 1 to 32.
inline constexpr int kListedPorts = 32;

int RunPorts(EventOutput& output);

}  // namespace flashwright::cli
