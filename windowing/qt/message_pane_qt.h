// The message pane as a QTextEdit: read-only plain text whose background and weight show the
// message's kind.
#pragma once

#include <string>

#include "windowing/message_pane.h"

class QTextEdit;

namespace flashwright::ui {

void SetUpMessagePane(QTextEdit* pane);
// The pane's text replaced by `text` ("\r\n" line breaks), with the kind's colours.
void ShowMessageInPane(QTextEdit* pane, const std::string& text, PaneKind kind, bool redraw_now);
Rgb BackgroundOfPane(const QTextEdit* pane);
bool PaneIsBold(const QTextEdit* pane);

}  // namespace flashwright::ui
