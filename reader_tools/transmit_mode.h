// The reader's RF transmit mode, "1 out of 4" (0) or "1 out of 256" (1). One command, 0x36,
// with selector 0x01 reads it (value 0xFF) and writes it.
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "reader_tools/tool_result.h"

namespace flashwright {

inline constexpr std::uint8_t kCommandTransmitMode = 0x36;
inline constexpr std::uint8_t kTransmitModeSelector = 0x01;

struct TransmitModeEntry {
  std::string_view name;     // as the dialog and the command line show it
  std::string_view keyword;  // as the command line accepts it
};
// Indexed by the mode.
inline constexpr std::array<TransmitModeEntry, 2> kTransmitModes{{
    {"1 out of 4", "4"},
    {"1 out of 256", "256"},
}};

// "1 out of 4", "1 out of 256", or "(unknown)".
const char* TransmitModeName(std::uint8_t mode);
// "4" gives mode 0, "256" mode 1; none for any other text.
std::optional<std::uint8_t> TransmitModeFromKeyword(std::string_view keyword);

std::vector<std::uint8_t> BuildReadTransmitModeRequest();
// Any mode other than 1 is sent as 0.
std::vector<std::uint8_t> BuildWriteTransmitModeRequest(std::uint8_t mode);
// Reply body: status; with status 0 a flags byte and a value byte. Flags bit 0 clear means the
// reader does not support the setting (result 49); else the mode is bit 0 of the value.
bool ParseReadTransmitModeReply(const std::uint8_t* bytes, std::size_t count, std::uint8_t* mode,
                                ToolResult* result);
bool ParseWriteTransmitModeReply(const std::uint8_t* bytes, std::size_t count,
                                 ToolResult* result);

ToolResult ReadTransmitMode(std::uint32_t reader_version, std::uint8_t* mode);
ToolResult WriteTransmitMode(std::uint32_t reader_version, std::uint8_t mode);

}  // namespace flashwright
