// Modal dialogs built from a dialog template. A dialog class derives from Dialog, fills its
// controls in OnInitDialog and handles their notifications in OnNotify; "OK"/"Done" (control
// 1, or Enter) and "Cancel" (control 2, Escape, or the close box) end it through OnOK and
// OnCancel unless the class says otherwise.
//
// Tests install a handler that runs in place of the modal loop: it gets the dialog with its
// form made and initialised (shown, but not modal), drives it, and returns how it ended.
#pragma once

#include <functional>
#include <memory>

#include "windowing/form.h"
#include "windowing/window_ref.h"

namespace flashwright::ui {

enum DialogResult : int { kDialogOk = 1, kDialogCancel = 2 };
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

class Dialog : public FormEvents {
 public:
  explicit Dialog(int template_id) : template_id_(template_id) {}
  ~Dialog() override;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally, owned by `owner`, and returns the result given to EndDialog;
  // kDialogCancel at once when the template does not exist or the window cannot be made.
  int DoModal(WindowRef owner = {});
  // Ends the dialog: OnDestroyWindow runs, then the modal loop returns `result`.
  void EndDialog(int result);

  int TemplateId() const { return template_id_; }
  bool IsOpen() const { return form_ != nullptr; }
  // EndDialog has run: the dialog is closing, and its window goes when the modal call returns.
  bool Ended() const { return ending_; }
  // The dialog's controls; only while it is open.
  Form& form() const { return *form_; }

  void OnNotify(int control_id, Notification notification) override;

 protected:
  // Runs once the controls exist, before the dialog appears.
  virtual void OnInitDialog() {}
  // Every way of ending the dialog runs this first, while the controls still exist.
  virtual void OnDestroyWindow() {}
  // Notifications of the dialog's own controls (other than 1 and 2).
  virtual void OnControl(int control_id, Notification notification) {
    (void)control_id;
    (void)notification;
  }
  virtual void OnOK() { EndDialog(kDialogOk); }
  virtual void OnCancel() { EndDialog(kDialogCancel); }

 private:
  int template_id_;
  std::unique_ptr<Form> form_;
  bool ending_ = false;
};

using ModalDialogHandler = std::function<int(Dialog&)>;
// An empty handler restores the real modal loop.
void SetModalDialogHandler(ModalDialogHandler handler);

}  // namespace flashwright::ui
