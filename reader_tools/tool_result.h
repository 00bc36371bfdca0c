// Result codes of the reader tool exchanges. They share the reader link's names where the
// meaning is the same; a reader's nonzero status byte is reported unchanged (1 to 255), not
// mapped to kLinkStatusBase - status as the update commands do.
#pragma once

#include <cstdint>

#include "reader_link/frame.h"

namespace flashwright {

using ToolResult = std::int32_t;

// A complete reply to another command, or one too short for its fields.
inline constexpr ToolResult kToolUnexpectedReply = -50;
// A settings command was not sent: the reader is too old for it.
inline constexpr ToolResult kToolNotSupported = 7;

// Reader status values with a meaning to the tool dialogs.
inline constexpr ToolResult kStatusCommandNotSupported = 2;
inline constexpr ToolResult kStatusNoTag = 6;
inline constexpr ToolResult kStatusSettingNotSupported = 49;

// Time limits of one exchange.
inline constexpr int kToolTimeLimitMs = 500;
inline constexpr int kBlockReadTimeLimitMs = 250;

}  // namespace flashwright
