#include "tools/reader_sim/sim_arguments.h"

#include <array>
#include <utility>

namespace flashwright::sim {
namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string WithoutHexPrefix(const std::string& text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return text.substr(2);
  }
  return text;
}

std::optional<std::uint32_t> ParseDecimal(const std::string& text, std::uint32_t max_value) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > max_value) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<std::uint32_t> ParseHexText(const std::string& text, std::size_t max_digits) {
  const std::string digits = WithoutHexPrefix(text);
  if (digits.empty() || digits.size() > max_digits || max_digits > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::optional<std::uint32_t> ParseNumberText(const std::string& text, std::uint32_t max_value) {
  std::optional<std::uint32_t> value;
  if (WithoutHexPrefix(text) != text) {
    value = ParseHexText(text, 8);
  } else {
    value = ParseDecimal(text, max_value);
  }
  if (!value || *value > max_value) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> ParseVersionText(const std::string& text) {
  if (WithoutHexPrefix(text) != text) return ParseHexText(text, 8);
  std::array<std::uint32_t, 3> parts{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::size_t dot = text.find('.', at);
    const bool last = i + 1 == parts.size();
    if (last != (dot == std::string::npos)) return std::nullopt;
    auto part = ParseDecimal(text.substr(at, last ? std::string::npos : dot - at), 255);
    if (!part) return std::nullopt;
    parts[i] = *part;
    at = dot + 1;
  }
  return 0x0A000000u | parts[0] << 16 | parts[1] << 8 | parts[2];
}

std::optional<SimTag> ParseTagText(const std::string& text) {
  const std::size_t colon = text.find(':');
  const std::string id_text = WithoutHexPrefix(text.substr(0, colon));
  if (id_text.empty() || id_text.size() % 2 != 0 || id_text.size() > 16) return std::nullopt;
  SimTag tag;
  for (std::size_t i = 0; i < id_text.size(); i += 2) {
    const int high = HexDigitValue(id_text[i]);
    const int low = HexDigitValue(id_text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    tag.id.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  if (colon != std::string::npos) {
    auto block = ParseHexText(text.substr(colon + 1), 8);
    if (!block) return std::nullopt;
    tag.block0 = *block;
  }
  return tag;
}

std::optional<SimFault> ParseFaultName(const std::string& text) {
  static const std::pair<const char*, SimFault> kNames[] = {
      {"none", SimFault::None},
      {"no-answer", SimFault::NoAnswer},
      {"bad-crc", SimFault::BadCrc},
      {"wrong-echo", SimFault::WrongEcho},
      {"busy", SimFault::Busy},
      {"ack-status-1", SimFault::AckStatus1},
      {"ack-status-2", SimFault::AckStatus2},
      {"split-replies", SimFault::SplitReplies},
      {"garbage-before-frame", SimFault::GarbageBeforeFrame},
  };
  for (const auto& [name, fault] : kNames) {
    if (text == name) return fault;
  }
  return std::nullopt;
}

}  // namespace flashwright::sim
