// How the Win32 backend passes windows around: a WindowRef is the window's handle itself (the
// reference is never looked into by anyone but this backend), so any window the system hands
// out, the active one included, can be passed on as an owner.
#pragma once

#include <windows.h>

// The system headers name their narrow and wide calls by macros; two of those names are calls
// of the windowing interface too.
#undef MessageBox
#undef LoadMenu

#include "windowing/window_ref.h"

namespace flashwright::ui {

inline HWND HwndOf(WindowRef window) { return reinterpret_cast<HWND>(window.native()); }
inline WindowRef RefOf(HWND window) { return WindowRef(reinterpret_cast<NativeWindow*>(window)); }

}  // namespace flashwright::ui
