#include "reader_tools/power_level.h"

#include "platform/text_case.h"
#include "reader_tools/tool_reply.h"
#include "reader_tools/tool_transact.h"

namespace flashwright {

const char* PowerLevelName(std::uint8_t code) {
  for (const PowerLevelEntry& entry : kPowerLevels) {
    if (entry.code == code) return entry.name.data();
  }
  return "(unknown)";
}

std::optional<std::uint8_t> PowerLevelAtPosition(int position) {
  if (position < 0 || position >= static_cast<int>(kPowerLevels.size())) return std::nullopt;
  return kPowerLevels[static_cast<std::size_t>(position)].code;
}

std::optional<std::uint8_t> PowerLevelFromKeyword(std::string_view keyword) {
  for (const PowerLevelEntry& entry : kPowerLevels) {
    if (SameIgnoringCase(keyword, entry.keyword)) return entry.code;
  }
  return std::nullopt;
}

std::vector<std::uint8_t> BuildReadRfPowerLevelRequest() {
  return BuildToolFrame(kStartD6, {kCommandReadRfPowerLevel});
}

std::vector<std::uint8_t> BuildWriteRfPowerLevelRequest(std::uint8_t code) {
  return BuildToolFrame(kStartD6, {kCommandWriteRfPowerLevel, code});
}

bool ParseReadRfPowerLevelReply(const std::uint8_t* bytes, std::size_t count, std::uint8_t* code,
                                ToolResult* result) {
  std::optional<ToolReplyBody> body;
  if (!BeginSettingsReply(bytes, count, kCommandReadRfPowerLevel, &body, result)) return false;
  if (!body) return true;
  std::uint8_t level = 0;
  if (!body->Byte(&level)) {
    *result = kToolUnexpectedReply;
    return true;
  }
  *code = level;
  return true;
}

bool ParseWriteRfPowerLevelReply(const std::uint8_t* bytes, std::size_t count,
                                 ToolResult* result) {
  return ParseStatusReply(bytes, count, kCommandWriteRfPowerLevel, result);
}

ToolResult ReadRfPowerLevel(std::uint32_t reader_version, std::uint8_t* code) {
  return ToolTransact(
      BuildReadRfPowerLevelRequest(),
      [code](const std::uint8_t* bytes, std::size_t count, ToolResult* result) {
        return ParseReadRfPowerLevelReply(bytes, count, code, result);
      },
      kToolTimeLimitMs, reader_version);
}

ToolResult WriteRfPowerLevel(std::uint32_t reader_version, std::uint8_t code) {
  return ToolTransact(BuildWriteRfPowerLevelRequest(code), ParseWriteRfPowerLevelReply,
                      kToolTimeLimitMs, reader_version);
}

}  // namespace flashwright
