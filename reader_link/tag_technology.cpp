#include "reader_link/tag_technology.h"

#include "platform/text_case.h"

namespace flashwright {

std::optional<std::uint8_t> TagTechnologyFromKeyword(std::string_view keyword) {
  for (const TagTechnologyKeyword& entry : kTagTechnologyKeywords) {
    if (SameIgnoringCase(keyword, entry.keyword)) return entry.selection;
  }
  return std::nullopt;
}

}  // namespace flashwright
