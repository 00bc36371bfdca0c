#include "windowing/modal_dialog.h"

#include <QDialog>

namespace flashwright::ui {

namespace {
ModalDialogHandler& Handler() {
  static ModalDialogHandler handler;
  return handler;
}
}  // namespace

int DoModal(QDialog& dialog) {
  if (Handler()) return Handler()(dialog);
  return dialog.exec() == QDialog::Accepted ? kDialogOk : kDialogCancel;
}

void SetModalDialogHandler(ModalDialogHandler handler) { Handler() = std::move(handler); }

}  // namespace flashwright::ui
