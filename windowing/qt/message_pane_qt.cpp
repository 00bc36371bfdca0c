#include "windowing/message_pane.h"

#include <QColor>
#include <QPalette>
#include <QTextCursor>
#include <QTextEdit>

#include "windowing/message_box.h"

namespace flashwright::ui {

void ShowPaneMessage(QTextEdit* pane, const std::string& text, PaneKind kind, bool redraw_now) {
  if (pane == nullptr) return;
  pane->clear();
  QPalette palette = pane->palette();
  QColor background = palette.color(QPalette::Button);
  if (kind == PaneKind::kError) background = QColor(192, 0, 0);
  if (kind == PaneKind::kSuccess) background = QColor(0, 192, 0);
  palette.setColor(QPalette::Base, background);
  pane->setPalette(palette);

  QTextCursor cursor = pane->textCursor();
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setFontWeight(kind == PaneKind::kNeutral ? QFont::Normal : QFont::Bold);
  format.setForeground(QColor(0, 0, 0));
  cursor.setCharFormat(format);
  cursor.insertText(QString::fromStdString(ToWidgetLineBreaks(text)), format);
  pane->setTextCursor(cursor);
  if (redraw_now) pane->repaint();
}

void SetUpMessagePane(QTextEdit* pane) {
  pane->setReadOnly(true);
  pane->setAcceptRichText(false);
  pane->setAutoFillBackground(true);
}

}  // namespace flashwright::ui
