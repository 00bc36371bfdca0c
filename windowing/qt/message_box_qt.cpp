#include "windowing/backend.h"
#include "windowing/qt/native_window_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace flashwright::ui {

namespace {
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

int ShowMessageBox(const MessageBoxRequest& request) {
  QWidget* owner = ToWidget(request.owner);
  QMessageBox box(IconOf(request.style), QString::fromStdString(request.caption),
                  ToWidgetText(request.text), QMessageBox::NoButton,
                  owner ? owner : QApplication::activeWindow());
  if ((request.style & kButtonMask) == kButtonsYesNo) {
    QPushButton* yes = box.addButton(QMessageBox::Yes);
    QPushButton* no = box.addButton(QMessageBox::No);
    box.setDefaultButton((request.style & kDefaultButtonMask) == kDefaultButton2 ? no : yes);
    // A Yes/No box has no cancel: closing it is not an answer the caller can take for Yes.
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? kAnswerYes : kAnswerNo;
  }
  box.addButton(QMessageBox::Ok);
  box.exec();
  return kAnswerOk;
}


}  // namespace flashwright::ui
