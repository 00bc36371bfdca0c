// The coloured message pane of the update views (a rich edit control): the whole text is
// replaced; the background is red for an error, green for a success and the button face
// otherwise; the text is black, bold for an error or a success.
#pragma once

#include <cstdint>

namespace flashwright::ui {

enum class PaneKind : int { kNeutral = 0, kError = 1, kSuccess = 2 };

struct Rgb {
  std::uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kPaneErrorBackground{192, 0, 0};
inline constexpr Rgb kPaneSuccessBackground{0, 192, 0};
inline constexpr Rgb kPaneTextColour{0, 0, 0};

// The system's button face colour: the neutral pane's background.
Rgb ButtonFaceColour();

}  // namespace flashwright::ui
