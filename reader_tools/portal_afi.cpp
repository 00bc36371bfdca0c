#include "reader_tools/portal_afi.h"

#include "reader_tools/tool_reply.h"
#include "reader_tools/tool_transact.h"

namespace flashwright {

std::vector<std::uint8_t> BuildReadPortalAfiRequest() {
  return BuildToolFrame(kStartD6, {kCommandReadPortalAfi});
}

std::vector<std::uint8_t> BuildWritePortalAfiRequest(std::uint8_t afi) {
  return BuildToolFrame(kStartD6, {kCommandWritePortalAfi, afi});
}

bool ParseReadPortalAfiReply(const std::uint8_t* bytes, std::size_t count, std::uint8_t* afi,
                             ToolResult* result) {
  std::optional<ToolReplyBody> body;
  if (!BeginSettingsReply(bytes, count, kCommandReadPortalAfi, &body, result)) return false;
  if (!body) return true;
  std::uint8_t value = 0;
  if (!body->Byte(&value)) {
    *result = kToolUnexpectedReply;
    return true;
  }
  *afi = value;
  return true;
}

bool ParseWritePortalAfiReply(const std::uint8_t* bytes, std::size_t count, ToolResult* result) {
  return ParseStatusReply(bytes, count, kCommandWritePortalAfi, result);
}

ToolResult ReadPortalAfi(std::uint32_t reader_version, std::uint8_t* afi) {
  return ToolTransact(
      BuildReadPortalAfiRequest(),
      [afi](const std::uint8_t* bytes, std::size_t count, ToolResult* result) {
        return ParseReadPortalAfiReply(bytes, count, afi, result);
      },
      kToolTimeLimitMs, reader_version);
}

ToolResult WritePortalAfi(std::uint32_t reader_version, std::uint8_t afi) {
  return ToolTransact(BuildWritePortalAfiRequest(afi), ParseWritePortalAfiReply,
                      kToolTimeLimitMs, reader_version);
}

}  // namespace flashwright
