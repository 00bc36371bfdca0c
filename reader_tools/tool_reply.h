// Reading a tool reply: its header, and its fields within the bytes that arrived.
//
// The tool exchanges take the reply from the first byte received (input is purged before each
// request, no start byte is searched for) and do not check the CRC. A reply is complete once
// L + 3 bytes are there; bytes after it are ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "reader_tools/tool_result.h"

namespace flashwright {

struct ToolReplyHeader {
  std::uint8_t start = 0;     // 0xD6, or whatever else came first (a D5 reply in practice)
  std::uint16_t length = 0;   // L: the bytes after the length field
  std::uint8_t echo = 0;      // the command byte the reply answers
  std::size_t position = 0;   // first byte after the header
};

// The header of a complete reply, or nothing while more bytes are needed. D6: start, L, echo
// (4 bytes). Any other start: start, L, two unused bytes, echo (6 bytes).
std::optional<ToolReplyHeader> ParseToolReplyHeader(const std::uint8_t* bytes, std::size_t count);

// Given all reply bytes received so far in one exchange; true when the reply is complete, and
// then `result` holds 0, a reader status or kToolUnexpectedReply and the command's outputs are set.
using ToolReplyParser =
    std::function<bool(const std::uint8_t* bytes, std::size_t count, ToolResult* result)>;

// The fields after a complete reply's header, read in order. Reads stop at the end of the
// payload (the CRC and anything after it are never taken as fields) and never go past the
// received bytes; a read beyond reports false and leaves its output alone.
class ToolReplyBody {
 public:
  ToolReplyBody(const std::uint8_t* bytes, std::size_t count, const ToolReplyHeader& header);

  bool Byte(std::uint8_t* value);
  bool Skip(std::size_t n);
  // Points `out` at the next n bytes.
  bool Take(std::size_t n, const std::uint8_t** out);

 private:
  const std::uint8_t* bytes_;
  std::size_t position_;
  std::size_t end_;
};

// Tag identifiers as upper-case hexadecimal without leading zeros: 4 bytes as one big-endian
// 32-bit value, 8 bytes as one 64-bit value; any other count gives the empty text.
std::string FormatTagId(const std::uint8_t* bytes, std::size_t n);

}  // namespace flashwright

namespace flashwright {

// The reply of a settings write: its status byte is the result. kToolUnexpectedReply for another
// command's reply or a reply without a status byte.
bool ParseStatusReply(const std::uint8_t* bytes, std::size_t count, std::uint8_t command,
                      ToolResult* result);

// The start of a settings read reply: false while incomplete. Otherwise true with `result` set
// to kToolUnexpectedReply (another command, no status byte) or the nonzero status, or with
// `result` 0 and `body` positioned at the reply data when the status is 0.
bool BeginSettingsReply(const std::uint8_t* bytes, std::size_t count, std::uint8_t command,
                        std::optional<ToolReplyBody>* body, ToolResult* result);

}  // namespace flashwright
