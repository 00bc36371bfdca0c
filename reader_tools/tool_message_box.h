// The message boxes of the reader tool dialogs: an OK button and no icon, owned by the dialog.
#pragma once

#include <string>

#include "windowing/window_ref.h"

namespace flashwright {

void ShowToolMessageBox(ui::WindowRef owner, const std::string& caption, const std::string& text);

}  // namespace flashwright
