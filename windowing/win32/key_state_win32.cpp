#include "windowing/win32/native_window_win32.h"

#include "windowing/key_state.h"

namespace flashwright::ui {

namespace {
std::function<bool()>& ControlKeySource() {
  static std::function<bool()> source;
  return source;
}
}  // namespace

bool IsControlKeyDown() {
  if (ControlKeySource()) return ControlKeySource()();
  return (GetKeyState(VK_CONTROL) & 0x8000) != 0;
}

void SetControlKeySourceForTesting(std::function<bool()> source) {
  ControlKeySource() = std::move(source);
}

}  // namespace flashwright::ui
