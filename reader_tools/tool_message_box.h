// The message boxes of the reader tool dialogs: an OK button and no icon. Tests install a hook
// to see caption and text without a modal box blocking them.
#pragma once

#include <QString>

class QWidget;

namespace flashwright {

// The caption of the confirmation boxes: the application's title.
inline constexpr const char* kApplicationTitle = "Flashwright";

using ToolMessageBoxHook = void (*)(QWidget* parent, const QString& caption, const QString& text);
// nullptr restores the real message box.
void SetToolMessageBoxHook(ToolMessageBoxHook hook);

void ShowToolMessageBox(QWidget* parent, const QString& caption, const QString& text);

}  // namespace flashwright
