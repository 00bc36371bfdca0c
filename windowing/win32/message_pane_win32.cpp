#include <windows.h>

#include "windowing/message_pane.h"

namespace flashwright::ui {

Rgb ButtonFaceColour() {
  const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
  return {GetRValue(face), GetGValue(face), GetBValue(face)};
}

}  // namespace flashwright::ui
