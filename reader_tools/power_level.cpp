#include "reader_tools/power_level.h"

#include "reader_tools/tool_reply.h"
#include "reader_tools/tool_transact.h"

namespace flashwright {

const char* PowerLevelName(std::uint8_t code) {
  switch (code) {
    case kPower100mW: return "100 mW";
    case kPower200mW: return "200 mW";
    case kPower400mW: return "400 mW";
    case kPower1W: return "1 Watt";
    default: return "(unknown)";
  }
}

std::optional<std::uint8_t> PowerLevelAtPosition(int position) {
  switch (position) {
    case 0: return kPower100mW;
    case 1: return kPower200mW;
    case 2: return kPower400mW;
    case 3: return kPower1W;
    default: return std::nullopt;
  }
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
    *result = UnexpectedReply;
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
