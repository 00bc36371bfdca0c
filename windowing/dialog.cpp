#include "windowing/dialog.h"

#include "windowing/backend.h"

namespace flashwright::ui {

namespace {
ModalDialogHandler& Handler() {
  static ModalDialogHandler handler;
  return handler;
}
}  // namespace

Dialog::~Dialog() { form_.reset(); }

int Dialog::DoModal(WindowRef owner) {
  const DialogTemplate* dialog = FindDialogTemplate(template_id_);
  if (dialog == nullptr) return kDialogCancel;
  form_ = CreateDialogForm(*dialog, owner, *this);
  if (!form_) return kDialogCancel;
  ending_ = false;
  OnInitDialog();
  int result = kDialogCancel;
  if (Handler()) {
    // A copy: the handler may install another while it runs.
    const ModalDialogHandler handler = Handler();
    result = handler(*this);
    // A handler that leaves the dialog open has it closed as the close box would.
    if (!ending_) OnDestroyWindow();
  } else {
    result = RunModalLoop(*form_);
  }
  form_.reset();
  return result;
}

void Dialog::EndDialog(int result) {
  if (!form_ || ending_) return;
  ending_ = true;
  OnDestroyWindow();
  EndModalLoop(*form_, result);
}

void Dialog::OnNotify(int control_id, Notification notification) {
  if (control_id == kIdOk && notification == Notification::kClicked) {
    OnOK();
  } else if (control_id == kIdCancel && notification == Notification::kClicked) {
    OnCancel();
  } else {
    OnControl(control_id, notification);
  }
}

void SetModalDialogHandler(ModalDialogHandler handler) { Handler() = std::move(handler); }

}  // namespace flashwright::ui
