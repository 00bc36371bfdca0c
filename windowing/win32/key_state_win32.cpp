#include "windowing/win32/native_window_win32.h"

#include "windowing/backend.h"

namespace flashwright::ui {

bool SystemControlKeyDown() { return (GetKeyState(VK_CONTROL) & 0x8000) != 0; }

}  // namespace flashwright::ui
