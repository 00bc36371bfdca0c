// The request/reply exchange the reader tools run themselves on the open reader port: purge,
// one write of the whole request, then gather reply bytes until the parser reports a complete
// reply or the time limit passes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "reader_tools/tool_reply.h"
#include "reader_tools/tool_result.h"

namespace flashwright {

// The longest frame a 16-bit length can describe (L = 0xFFFF, plus start byte and length).
// Every parser reports complete by then; the reply buffer never grows beyond it.
inline constexpr std::size_t kMaxToolReplyBytes = 0xFFFF + 3;

// A complete request frame: `start`, L = payload size + 2, the payload, FrameCrc16.
std::vector<std::uint8_t> BuildToolFrame(std::uint8_t start,
                                         const std::vector<std::uint8_t>& payload);

// Results: 0, -3 with no port open, 7 when `settings_reader_version` is given and fails
// HasD6Tools (nothing is sent), a system error code of the write, queued-count or read call,
// -10 for a short write, -5 when no complete reply came within `time_limit_ms` (or a read
// returned fewer bytes than were queued), -4 when a parser is still not satisfied by the
// longest possible frame, else what the parser set.
ToolResult ToolTransact(const std::vector<std::uint8_t>& request, const ToolReplyParser& parser,
                        int time_limit_ms,
                        std::optional<std::uint32_t> settings_reader_version = std::nullopt);

}  // namespace flashwright
