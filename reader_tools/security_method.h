// The reader's tag security method and its one-byte value (command 0x43 reads them, 0x42
// stores new ones): AFI, EAS (value 0 or 1), DSFID, or None (no value).
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "reader_tools/tool_result.h"

namespace flashwright {

inline constexpr std::uint8_t kCommandReadSecurityMethod = 0x43;
inline constexpr std::uint8_t kCommandWriteSecurityMethod = 0x42;

inline constexpr std::uint8_t kSecurityAfi = 0x09;
inline constexpr std::uint8_t kSecurityEas = 0x0C;
inline constexpr std::uint8_t kSecurityDsfid = 0x0B;
inline constexpr std::uint8_t kSecurityNone = 0x11;

struct SecurityMethodEntry {
  std::string_view name;
  std::uint8_t code;
};
// The methods in the order of the dialog's list, under the names the dialog and the command
// line show and accept.
inline constexpr std::array<SecurityMethodEntry, 4> kSecurityMethods{{
    {"AFI", kSecurityAfi},
    {"EAS", kSecurityEas},
    {"DSFID", kSecurityDsfid},
    {"None", kSecurityNone},
}};

// "AFI", "EAS", "DSFID", "None", or "(unknown)".
const char* SecurityMethodName(std::uint8_t code);
// The method at a position of the dialog's list "AFI", "EAS", "DSFID", "None"; a position
// outside the list gives AFI.
std::uint8_t SecurityMethodAtPosition(int position);
// The list position of a method named in any letter case; none for another name.
std::optional<int> SecurityMethodPositionOfName(std::string_view name);

std::vector<std::uint8_t> BuildReadSecurityMethodRequest();
std::vector<std::uint8_t> BuildWriteSecurityMethodRequest(std::uint8_t method, std::uint8_t value);
// Reply body: status, method, value. A method outside the four known ones reads as AFI with
// DA. The outputs are set only by a successful read.
bool ParseReadSecurityMethodReply(const std::uint8_t* bytes, std::size_t count,
                                  std::uint8_t* method, std::uint8_t* value, ToolResult* result);
bool ParseWriteSecurityMethodReply(const std::uint8_t* bytes, std::size_t count,
                                   ToolResult* result);

ToolResult ReadSecurityMethod(std::uint32_t reader_version, std::uint8_t* method,
                              std::uint8_t* value);
ToolResult WriteSecurityMethod(std::uint32_t reader_version, std::uint8_t method,
                               std::uint8_t value);

}  // namespace flashwright
