#include "shell/program_resources.h"

#include <vector>

namespace flashwright {

const ui::ResourceTable& ProgramResources() {
  static const std::vector<ui::DialogTemplate> dialogs = [] {
    std::vector<ui::DialogTemplate> all(ViewTemplates().begin(), ViewTemplates().end());
    all.insert(all.end(), ToolDialogTemplates().begin(), ToolDialogTemplates().end());
    return all;
  }();
  static const ui::ResourceTable table{dialogs, MenuTemplates()};
  return table;
}

}  // namespace flashwright
