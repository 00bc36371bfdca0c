// Message boxes with a caption, an icon and OK or Yes/No buttons. Tests install a handler that
// answers in place of the user and sees what would have been shown.
#pragma once

#include <functional>
#include <string>

#include "windowing/window_ref.h"

namespace flashwright::ui {

// Buttons, icon and default button, combined with "|".
enum MessageBoxStyle : unsigned {
  kButtonsOk = 0x0,
  kButtonsYesNo = 0x4,
  kIconError = 0x10,
  kIconQuestion = 0x20,
  kIconWarning = 0x30,
  kIconInformation = 0x40,
  kDefaultButton1 = 0x000,
  kDefaultButton2 = 0x100,
};
inline constexpr unsigned kButtonMask = 0xF;
inline constexpr unsigned kIconMask = 0xF0;
inline constexpr unsigned kDefaultButtonMask = 0xF00;

// What a box returns: the button the user pressed.
enum MessageBoxAnswer : int { kAnswerOk = 1, kAnswerCancel = 2, kAnswerYes = 6, kAnswerNo = 7 };

struct MessageBoxRequest {
  WindowRef owner;
  std::string text;     // as composed, lines separated by "\r\n"
  std::string caption;
  unsigned style = 0;
};

using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Shows a modal box owned by `owner` (or the active window) and returns the answer. A box asked
// for while another is open is a misuse (see ui_check.h); in release builds it is shown too.
int MessageBox(WindowRef owner, const std::string& text, const std::string& caption,
               unsigned style);

// An empty handler restores the real boxes.
void SetMessageBoxHandler(MessageBoxHandler handler);


}  // namespace flashwright::ui
