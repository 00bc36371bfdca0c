#include "reader_tools/tool_reply.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace flashwright {

std::optional<ToolReplyHeader> ParseToolReplyHeader(const std::uint8_t* bytes,
                                                    std::size_t count) {
  if (count == 0) return std::nullopt;
  ToolReplyHeader header;
  header.start = bytes[0];
  if (bytes[0] == kStartD6) {
    if (count < 4) return std::nullopt;
    header.echo = bytes[3];
    header.position = 4;
  } else {
    if (count < 6) return std::nullopt;
    header.echo = bytes[5];
    header.position = 6;
  }
  header.length = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
  if (count < static_cast<std::size_t>(header.length) + 3) return std::nullopt;
  return header;
}

ToolReplyBody::ToolReplyBody(const std::uint8_t* bytes, std::size_t count,
                             const ToolReplyHeader& header)
    : bytes_(bytes), position_(header.position) {
  // The payload ends where the two CRC bytes begin, at offset L + 1.
  std::size_t payload_end = static_cast<std::size_t>(header.length) + 1;
  end_ = std::min(count, payload_end);
}

bool ToolReplyBody::Take(std::size_t n, const std::uint8_t** out) {
  if (position_ > end_ || end_ - position_ < n) return false;
  *out = bytes_ + position_;
  position_ += n;
  return true;
}

bool ToolReplyBody::Byte(std::uint8_t* value) {
  const std::uint8_t* at = nullptr;
  if (!Take(1, &at)) return false;
  *value = *at;
  return true;
}

bool ToolReplyBody::Skip(std::size_t n) {
  const std::uint8_t* at = nullptr;
  return Take(n, &at);
}

std::string FormatTagId(const std::uint8_t* bytes, std::size_t n) {
  if (n != 4 && n != 8) return {};
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < n; ++i) value = value << 8 | bytes[i];
  char text[20];
  std::snprintf(text, sizeof text, "%" PRIX64, value);
  return text;
}

}  // namespace flashwright

namespace flashwright {

bool BeginSettingsReply(const std::uint8_t* bytes, std::size_t count, std::uint8_t command,
                        std::optional<ToolReplyBody>* body, ToolResult* result) {
  auto header = ParseToolReplyHeader(bytes, count);
  if (!header) return false;
  body->reset();
  if (header->echo != command) {
    *result = kToolUnexpectedReply;
    return true;
  }
  ToolReplyBody fields(bytes, count, *header);
  std::uint8_t status = 0;
  if (!fields.Byte(&status)) {
    *result = kToolUnexpectedReply;
    return true;
  }
  *result = status;
  if (status == 0) body->emplace(fields);
  return true;
}

bool ParseStatusReply(const std::uint8_t* bytes, std::size_t count, std::uint8_t command,
                      ToolResult* result) {
  std::optional<ToolReplyBody> body;
  return BeginSettingsReply(bytes, count, command, &body, result);
}

}  // namespace flashwright
