// The reader's RF output power level (command 0x3E reads it, 0x3A sets it). The level codes
// are not in the order of the power: 100 mW is 10.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "reader_tools/tool_result.h"

namespace flashwright {

inline constexpr std::uint8_t kCommandReadRfPowerLevel = 0x3E;
inline constexpr std::uint8_t kCommandWriteRfPowerLevel = 0x3A;

inline constexpr std::uint8_t kPower100mW = 0x0A;
inline constexpr std::uint8_t kPower200mW = 0x02;
inline constexpr std::uint8_t kPower400mW = 0x04;
inline constexpr std::uint8_t kPower1W = 0x01;

struct PowerLevelEntry {
  std::uint8_t code;
  std::string_view name;     // as the dialog and the command line show it
  std::string_view keyword;  // as the command line accepts it, in any letter case
};
// The levels in the order of the dialog's list.
inline constexpr std::array<PowerLevelEntry, 4> kPowerLevels{{
    {kPower100mW, "100 mW", "100mW"},
    {kPower200mW, "200 mW", "200mW"},
    {kPower400mW, "400 mW", "400mW"},
    {kPower1W, "1 Watt", "1W"},
}};

// "100 mW", "200 mW", "400 mW", "1 Watt", or "(unknown)".
const char* PowerLevelName(std::uint8_t code);
// The level at a position of the dialog's list (100 mW, 200 mW, 400 mW, 1 Watt); none outside.
std::optional<std::uint8_t> PowerLevelAtPosition(int position);
// The level a keyword names ("100mW", "200mW", "400mW", "1W", any letter case); none else.
std::optional<std::uint8_t> PowerLevelFromKeyword(std::string_view keyword);

std::vector<std::uint8_t> BuildReadRfPowerLevelRequest();
std::vector<std::uint8_t> BuildWriteRfPowerLevelRequest(std::uint8_t code);
// Reply body: status; with status 0 the level code.
bool ParseReadRfPowerLevelReply(const std::uint8_t* bytes, std::size_t count, std::uint8_t* code,
                                ToolResult* result);
bool ParseWriteRfPowerLevelReply(const std::uint8_t* bytes, std::size_t count,
                                 ToolResult* result);

ToolResult ReadRfPowerLevel(std::uint32_t reader_version, std::uint8_t* code);
ToolResult WriteRfPowerLevel(std::uint32_t reader_version, std::uint8_t code);

}  // namespace flashwright
