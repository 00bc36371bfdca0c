// The tag technologies a reader configures: the selection bits of the reset-configuration
// command and the keywords the command lines name them by.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace flashwright {

inline constexpr std::uint8_t kTechNone = 0x00;
inline constexpr std::uint8_t kTechTagIt = 0x01;
inline constexpr std::uint8_t kTechIso = 0x02;
inline constexpr std::uint8_t kTechAll = kTechTagIt | kTechIso;

struct TagTechnologyKeyword {
  std::string_view keyword;  // as the command lines list it
  std::uint8_t selection;
};
inline constexpr std::array<TagTechnologyKeyword, 4> kTagTechnologyKeywords{{
    {"ALL", kTechAll},
    {"ISO", kTechIso},
    {"TI", kTechTagIt},
    {"NONE", kTechNone},
}};

// The selection a keyword names, letter case ignored; none for any other text.
std::optional<std::uint8_t> TagTechnologyFromKeyword(std::string_view keyword);

}  // namespace flashwright
