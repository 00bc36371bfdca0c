// The reader's RF transmit mode, "1 out of 4" (0) or "1 out of 256" (1). One command, 0x36,
// with selector 0x01 reads it (value 0xFF) and writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reader_tools/tool_result.h"

namespace flashwright {

inline constexpr std::uint8_t kCommandTransmitMode = 0x36;
inline constexpr std::uint8_t kTransmitModeSelector = 0x01;

// "1 out of 4", "1 out of 256", or "(unknown)".
const char* TransmitModeName(std::uint8_t mode);

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
