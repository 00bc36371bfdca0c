#include "windowing/qt/message_pane_qt.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QTextCursor>
#include <QTextEdit>

#include "windowing/qt/native_window_qt.h"

namespace flashwright::ui {

namespace {
QColor ToColour(Rgb rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

Rgb ToRgb(const QColor& colour) {
  return Rgb{static_cast<std::uint8_t>(colour.red()), static_cast<std::uint8_t>(colour.green()),
             static_cast<std::uint8_t>(colour.blue())};
}
}  // namespace

Rgb ButtonFaceColour() { return ToRgb(QApplication::palette().color(QPalette::Button)); }

void SetUpMessagePane(QTextEdit* pane) {
  pane->setReadOnly(true);
  pane->setAcceptRichText(false);
  pane->setAutoFillBackground(true);
}

void ShowMessageInPane(QTextEdit* pane, const std::string& text, PaneKind kind,
                       bool redraw_now) {
  if (pane == nullptr) return;
  pane->clear();
  QPalette palette = pane->palette();
  QColor background = palette.color(QPalette::Button);
  if (kind == PaneKind::kError) background = ToColour(kPaneErrorBackground);
  if (kind == PaneKind::kSuccess) background = ToColour(kPaneSuccessBackground);
  palette.setColor(QPalette::Base, background);
  pane->setPalette(palette);

  QTextCursor cursor = pane->textCursor();
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setFontWeight(kind == PaneKind::kNeutral ? QFont::Normal : QFont::Bold);
  format.setForeground(ToColour(kPaneTextColour));
  cursor.setCharFormat(format);
  cursor.insertText(ToWidgetText(text), format);
  pane->setTextCursor(cursor);
  if (redraw_now) pane->repaint();
}

Rgb BackgroundOfPane(const QTextEdit* pane) {
  return pane != nullptr ? ToRgb(pane->palette().color(QPalette::Base)) : Rgb{};
}

bool PaneIsBold(const QTextEdit* pane) {
  if (pane == nullptr) return false;
  QTextCursor cursor(pane->document());
  cursor.movePosition(QTextCursor::Start);
  cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
  return cursor.charFormat().fontWeight() >= QFont::Bold;
}

}  // namespace flashwright::ui
