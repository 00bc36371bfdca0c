// Comparisons of names with letter case ignored, as the platform's file names and the
// program's keywords compare (ASCII letters; other bytes must match exactly).
#pragma once

#include <cctype>
#include <string>

namespace flashwright {

inline bool SameLetterIgnoringCase(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) ==
         std::tolower(static_cast<unsigned char>(b));
}

// `text` ends with `ending`, letter case ignored.
inline bool EndsWithIgnoringCase(const std::string& text, const std::string& ending) {
  if (ending.size() > text.size()) return false;
  const std::size_t start = text.size() - ending.size();
  for (std::size_t i = 0; i < ending.size(); ++i) {
    if (!SameLetterIgnoringCase(text[start + i], ending[i])) return false;
  }
  return true;
}

inline bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && EndsWithIgnoringCase(a, b);
}

}  // namespace flashwright
