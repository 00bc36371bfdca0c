// flashwright-cli afi, security, transmit-mode and power-level: the reader's settings that
// the tool dialogs read and set, with the dialogs' texts. Without a value to set, the current
// setting is read; with one, it is set.
#pragma once

#include <cstdint>
#include <optional>

#include "app/cli/event_output.h"
#include "reader_tools/tool_entry.h"

namespace flashwright::cli {

int RunPortalAfi(int port, std::optional<std::uint8_t> set_value, EventOutput& output);
int RunSecurityMethod(int port, std::optional<SecuritySetting> setting, EventOutput& output);
int RunTransmitMode(int port, std::optional<std::uint8_t> set_mode, EventOutput& output);
int RunPowerLevel(int port, std::optional<std::uint8_t> set_level, EventOutput& output);

}  // namespace flashwright::cli
