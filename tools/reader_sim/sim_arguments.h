// Reading the reader-sim program's option values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/reader_sim/reader_simulator.h"

namespace flashwright::sim {

// "4.241.8" (major.minor.build of family 0x0A, each 0 to 255) or "0x0A04F108" (the whole word).
std::optional<std::uint32_t> ParseVersionText(const std::string& text);
// Hexadecimal digits, with or without "0x", at most `max_digits` of them.
std::optional<std::uint32_t> ParseHexText(const std::string& text, std::size_t max_digits);
// Decimal, or hexadecimal after "0x", at most `max_value`.
std::optional<std::uint32_t> ParseNumberText(const std::string& text, std::uint32_t max_value);
// HEXID[:BLOCK0]: an identifier of 1 to 8 bytes (an even number of hexadecimal digits) and
// block 0 as up to eight hexadecimal digits (0 when left out).
std::optional<SimTag> ParseTagText(const std::string& text);
// none, no-answer, bad-crc, wrong-echo, busy, ack-status-1, ack-status-2, split-replies,
// garbage-before-frame.
std::optional<SimFault> ParseFaultName(const std::string& text);

}  // namespace flashwright::sim
