// The document: it holds no data and is never saved or loaded; it refuses to let the frame
// close while a firmware update runs.
#pragma once

#include <vector>

namespace flashwright {

class CKindlerApp;
namespace ui {
class FormView;
}

class CKindlerDoc {
 public:
  explicit CKindlerDoc(const CKindlerApp& app) : app_(app) {}

  bool OnNewDocument() { return true; }
  void Serialize(bool storing) { (void)storing; }
  bool CanCloseFrame() const;

  void AddView(ui::FormView* view);
  void RemoveView(ui::FormView* view);
  const std::vector<ui::FormView*>& Views() const { return views_; }

 private:
  const CKindlerApp& app_;
  std::vector<ui::FormView*> views_;
};

}  // namespace flashwright
