// Comparisons of names with letter case ignored, as the platform's file names and the
// program's keywords compare (ASCII letters; other bytes must match exactly).
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace flashwright {

inline char LowerLetter(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}
inline char UpperLetter(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

inline bool SameLetterIgnoringCase(char a, char b) { return LowerLetter(a) == LowerLetter(b); }

inline std::string LowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = LowerLetter(c);
  return result;
}

inline std::string UpperCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = UpperLetter(c);
  return result;
}

// `text` ends with `ending`, letter case ignored.
inline bool EndsWithIgnoringCase(std::string_view text, std::string_view ending) {
  if (ending.size() > text.size()) return false;
  const std::size_t start = text.size() - ending.size();
  for (std::size_t i = 0; i < ending.size(); ++i) {
    if (!SameLetterIgnoringCase(text[start + i], ending[i])) return false;
  }
  return true;
}

inline bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && EndsWithIgnoringCase(a, b);
}

// Negative, zero or positive as `a` sorts before, with or after `b`, letter case ignored
// (both compared in lower case, a shorter prefix first).
inline int CompareIgnoringCase(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char x = static_cast<unsigned char>(LowerLetter(a[i]));
    const unsigned char y = static_cast<unsigned char>(LowerLetter(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace flashwright
