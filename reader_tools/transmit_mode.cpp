#include "reader_tools/transmit_mode.h"

#include "reader_tools/tool_reply.h"
#include "reader_tools/tool_transact.h"

namespace flashwright {

const char* TransmitModeName(std::uint8_t mode) {
  return mode < kTransmitModes.size() ? kTransmitModes[mode].name.data() : "(unknown)";
}

std::optional<std::uint8_t> TransmitModeFromKeyword(std::string_view keyword) {
  for (std::size_t mode = 0; mode < kTransmitModes.size(); ++mode) {
    if (keyword == kTransmitModes[mode].keyword) return static_cast<std::uint8_t>(mode);
  }
  return std::nullopt;
}

std::vector<std::uint8_t> BuildReadTransmitModeRequest() {
  return BuildToolFrame(kStartD6, {kCommandTransmitMode, kTransmitModeSelector, 0xFF});
}

std::vector<std::uint8_t> BuildWriteTransmitModeRequest(std::uint8_t mode) {
  std::uint8_t value = mode == 1 ? 0x01 : 0x00;
  return BuildToolFrame(kStartD6, {kCommandTransmitMode, kTransmitModeSelector, value});
}

bool ParseReadTransmitModeReply(const std::uint8_t* bytes, std::size_t count, std::uint8_t* mode,
                                ToolResult* result) {
  std::optional<ToolReplyBody> body;
  if (!BeginSettingsReply(bytes, count, kCommandTransmitMode, &body, result)) return false;
  if (!body) return true;
  std::uint8_t flags = 0;
  std::uint8_t value = 0;
  if (!body->Byte(&flags) || !body->Byte(&value)) {
    *result = kToolUnexpectedReply;
    return true;
  }
  if (!(flags & 0x01)) {
    *result = kStatusSettingNotSupported;
    return true;
  }
  *mode = value & 0x01;
  return true;
}

bool ParseWriteTransmitModeReply(const std::uint8_t* bytes, std::size_t count,
                                 ToolResult* result) {
  return ParseStatusReply(bytes, count, kCommandTransmitMode, result);
}

ToolResult ReadTransmitMode(std::uint32_t reader_version, std::uint8_t* mode) {
  return ToolTransact(
      BuildReadTransmitModeRequest(),
      [mode](const std::uint8_t* bytes, std::size_t count, ToolResult* result) {
        return ParseReadTransmitModeReply(bytes, count, mode, result);
      },
      kToolTimeLimitMs, reader_version);
}

ToolResult WriteTransmitMode(std::uint32_t reader_version, std::uint8_t mode) {
  return ToolTransact(BuildWriteTransmitModeRequest(mode), ParseWriteTransmitModeReply,
                      kToolTimeLimitMs, reader_version);
}

}  // namespace flashwright
