// Pictures of windows and the moment of the first paint, for the screenshot script, the
// start-up benchmark and tests (none of it is used by the shipped program).
#pragma once

#include <functional>
#include <string>

#include "windowing/window_ref.h"

namespace flashwright::ui {

// Saves a PNG picture of `window` as it is on the screen. False when it cannot; `*blank` is
// set when every pixel of the picture has one colour.
bool SaveWindowPicture(WindowRef window, const std::string& png_path, bool* blank);

// Calls `done` once, on the user-interface thread, after `window` has first been painted.
void CallAfterFirstPaint(WindowRef window, std::function<void()> done);

}  // namespace flashwright::ui
