// The font every template of the program names: the dialog units of its places
// are measured in it.
#pragma once

namespace flashwright {

inline constexpr const char kTemplateFont[] = "MS Sans Serif";
inline constexpr int kTemplatePointSize = 8;

} // namespace flashwright
