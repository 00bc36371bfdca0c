#include "windowing/resource_templates.h"

#include <atomic>

#include "windowing/ui_check.h"

namespace flashwright::ui {

namespace {
std::atomic<const ResourceTable*> installed{nullptr};
}  // namespace

void InstallResources(const ResourceTable* table) { installed.store(table); }

const DialogTemplate* FindDialogTemplate(int id) {
  if (const ResourceTable* table = installed.load()) {
    for (const DialogTemplate& dialog : table->dialogs)
      if (dialog.id == id) return &dialog;
  }
  ReportMisuse("no dialog template", id);
  return nullptr;
}

const MenuTemplate* FindMenuTemplate(int id) {
  if (const ResourceTable* table = installed.load()) {
    for (const MenuTemplate& menu : table->menus)
      if (menu.id == id) return &menu;
  }
  ReportMisuse("no menu", id);
  return nullptr;
}

const ControlTemplate* FindControlTemplate(const DialogTemplate& dialog, int id) {
  for (const ControlTemplate& control : dialog.controls)
    if (control.id == id && id != 0) return &control;
  return nullptr;
}

}  // namespace flashwright::ui
