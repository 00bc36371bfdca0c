#include "reader_tools/security_method.h"

#include "platform/text_case.h"
#include "reader_tools/tool_reply.h"
#include "reader_tools/tool_transact.h"

namespace flashwright {

const char* SecurityMethodName(std::uint8_t code) {
  for (const SecurityMethodEntry& entry : kSecurityMethods) {
    if (entry.code == code) return entry.name.data();
  }
  return "(unknown)";
}

std::uint8_t SecurityMethodAtPosition(int position) {
  if (position < 0 || position >= static_cast<int>(kSecurityMethods.size())) return kSecurityAfi;
  return kSecurityMethods[static_cast<std::size_t>(position)].code;
}

std::optional<int> SecurityMethodPositionOfName(std::string_view name) {
  for (std::size_t i = 0; i < kSecurityMethods.size(); ++i) {
    if (SameIgnoringCase(name, kSecurityMethods[i].name)) return static_cast<int>(i);
  }
  return std::nullopt;
}

std::vector<std::uint8_t> BuildReadSecurityMethodRequest() {
  return BuildToolFrame(kStartD6, {kCommandReadSecurityMethod});
}

std::vector<std::uint8_t> BuildWriteSecurityMethodRequest(std::uint8_t method,
                                                          std::uint8_t value) {
  return BuildToolFrame(kStartD6, {kCommandWriteSecurityMethod, method, value});
}

bool ParseReadSecurityMethodReply(const std::uint8_t* bytes, std::size_t count,
                                  std::uint8_t* method, std::uint8_t* value,
                                  ToolResult* result) {
  std::optional<ToolReplyBody> body;
  if (!BeginSettingsReply(bytes, count, kCommandReadSecurityMethod, &body, result)) {
    return false;
  }
  if (!body) return true;
  std::uint8_t read_method = 0;
  std::uint8_t read_value = 0;
  if (!body->Byte(&read_method) || !body->Byte(&read_value)) {
    *result = kToolUnexpectedReply;
    return true;
  }
  if (read_method != kSecurityAfi && read_method != kSecurityEas &&
      read_method != kSecurityDsfid && read_method != kSecurityNone) {
    // The reader's default.
    read_method = kSecurityAfi;
    read_value = 0xDA;
  }
  *method = read_method;
  *value = read_value;
  return true;
}

bool ParseWriteSecurityMethodReply(const std::uint8_t* bytes, std::size_t count,
                                   ToolResult* result) {
  return ParseStatusReply(bytes, count, kCommandWriteSecurityMethod, result);
}

ToolResult ReadSecurityMethod(std::uint32_t reader_version, std::uint8_t* method,
                              std::uint8_t* value) {
  return ToolTransact(
      BuildReadSecurityMethodRequest(),
      [method, value](const std::uint8_t* bytes, std::size_t count, ToolResult* result) {
        return ParseReadSecurityMethodReply(bytes, count, method, value, result);
      },
      kToolTimeLimitMs, reader_version);
}

ToolResult WriteSecurityMethod(std::uint32_t reader_version, std::uint8_t method,
                               std::uint8_t value) {
  return ToolTransact(BuildWriteSecurityMethodRequest(method, value),
                      ParseWriteSecurityMethodReply, kToolTimeLimitMs, reader_version);
}

}  // namespace flashwright
