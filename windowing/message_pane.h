// The coloured message pane of the update views: the whole text is replaced; the background is
// red for an error, green for a success and the button face otherwise; the text is black, bold
// for an error or a success.
#pragma once

#include <string>

class QTextEdit;

namespace flashwright::ui {

enum class PaneKind : int { kNeutral = 0, kError = 1, kSuccess = 2 };

// `text` with "\r\n" line breaks. With `redraw_now` the pane repaints at once.
void ShowPaneMessage(QTextEdit* pane, const std::string& text, PaneKind kind, bool redraw_now);

// Makes a text edit a message pane: read-only plain text on its own background.
void SetUpMessagePane(QTextEdit* pane);

}  // namespace flashwright::ui
