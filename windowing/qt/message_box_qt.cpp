#include "windowing/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace flashwright::ui {

namespace {
MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}

QMessageBox::Icon IconOf(unsigned style) {
  switch (style & kIconMask) {
    case kIconError: return QMessageBox::Critical;
    case kIconQuestion: return QMessageBox::Question;
    case kIconWarning: return QMessageBox::Warning;
    case kIconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}
}  // namespace

std::string ToWidgetLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

int MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
               unsigned style) {
  if (Handler()) return Handler()({owner, text, caption, style});

  QMessageBox box(IconOf(style), QString::fromStdString(caption),
                  QString::fromStdString(ToWidgetLineBreaks(text)), QMessageBox::NoButton,
                  owner ? owner : QApplication::activeWindow());
  if ((style & kButtonMask) == kButtonsYesNo) {
    QPushButton* yes = box.addButton(QMessageBox::Yes);
    QPushButton* no = box.addButton(QMessageBox::No);
    box.setDefaultButton((style & kDefaultButtonMask) == kDefaultButton2 ? no : yes);
    // A Yes/No box has no cancel: closing it is not an answer the caller can take for Yes.
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? kAnswerYes : kAnswerNo;
  }
  box.addButton(QMessageBox::Ok);
  box.exec();
  return kAnswerOk;
}

void SetMessageBoxHandler(MessageBoxHandler handler) { Handler() = std::move(handler); }

}  // namespace flashwright::ui
