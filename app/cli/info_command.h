// flashwright-cli info: the reader information of the reader update view (version with the
// "*" mark, bootloader, platform, power level) for a COM port or the reader discovery finds.
#pragma once

#include "app/cli/event_output.h"

namespace flashwright::cli {

int RunInfo(int port, EventOutput& output);

}  // namespace flashwright::cli
