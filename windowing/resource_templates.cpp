#include "windowing/resource_templates.h"

#include <atomic>

#include "windowing/ui_check.h"

namespace flashwright::ui {

namespace {
std::atomic<const ResourceTable*> installed{nullptr};
}  // namespace

void InstallResources(const ResourceTable* table) { installed.store(table); }

namespace {
// The entry `id` of one part of the installed table; misuse when there is none.
template <typename Entry>
const Entry* FindInstalled(std::span<const Entry> ResourceTable::*part, int id, const char* what) {
  if (const ResourceTable* table = installed.load()) {
    for (const Entry& entry : table->*part)
      if (entry.id == id) return &entry;
  }
  ReportMisuse(what, id);
  return nullptr;
}
}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
  return FindInstalled(&ResourceTable::dialogs, id, "no dialog template");
}

const MenuTemplate* FindMenuTemplate(int id) {
  return FindInstalled(&ResourceTable::menus, id, "no menu");
}

const ControlTemplate* FindControlTemplate(const DialogTemplate& dialog, int id) {
  for (const ControlTemplate& control : dialog.controls)
    if (control.id == id && id != 0) return &control;
  return nullptr;
}

}  // namespace flashwright::ui
