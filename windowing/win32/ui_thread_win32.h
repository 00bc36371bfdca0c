// The user-interface thread's message handling shared by the backend's loops (the event loop,
// modal runs, waits): every message goes through the forms' keys before it is dispatched, and
// a quit request seen by an inner loop is kept for the event loop.
#pragma once

#include "windowing/win32/native_window_win32.h"

namespace flashwright::ui {

// The program's instance (the module the resources are in).
HINSTANCE ProgramInstance();

void DispatchUiMessage(MSG& message);
// Records that a quit request (WM_QUIT) was taken out of the queue by an inner loop.
void NoteQuitRequest(int exit_code);

// The program's icon (resource 128), or the system's when the program has none.
HICON ProgramIcon();

}  // namespace flashwright::ui
