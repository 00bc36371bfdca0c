#include "windowing/form_view.h"

#include "windowing/backend.h"

namespace flashwright::ui {

FormView::~FormView() { form_.reset(); }

bool FormView::Create(WindowRef parent, WindowRef frame) {
  const DialogTemplate* dialog = FindDialogTemplate(template_id_);
  if (dialog == nullptr) return false;
  frame_ = frame;
  form_ = CreateChildForm(*dialog, parent, *this);
  return form_ != nullptr;
}

}  // namespace flashwright::ui
