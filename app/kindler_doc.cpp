#include "app/kindler_doc.h"

#include <algorithm>

#include "app/kindler_app.h"

namespace flashwright {

bool CKindlerDoc::CanCloseFrame() const { return !app_.IsBusy(); }

void CKindlerDoc::AddView(ui::FormView* view) {
  if (std::find(views_.begin(), views_.end(), view) == views_.end()) views_.push_back(view);
}

void CKindlerDoc::RemoveView(ui::FormView* view) {
  views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
}

}  // namespace flashwright
