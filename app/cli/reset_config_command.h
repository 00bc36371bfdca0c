// flashwright-cli reset-config: the reader update view's Reset Configuration for the chosen
// tag technologies.
#pragma once

#include <cstdint>

#include "app/cli/event_output.h"

namespace flashwright::cli {

int RunResetConfiguration(int port, std::uint8_t selection, EventOutput& output);

}  // namespace flashwright::cli
