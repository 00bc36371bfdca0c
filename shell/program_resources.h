// The program's resources as data: dialog templates 100, 101, 103, 104 and 129 to 132 and
// menus 128 to 130, installed once at start-up (ui::InstallResources) and read by every
// windowing backend.
#pragma once

#include <span>

#include "windowing/resource_templates.h"

namespace flashwright {

const ui::ResourceTable& ProgramResources();

// The parts of the table, each kept beside its kind of window.
// The About box and the two views' forms (templates 100, 101, 104).
std::span<const ui::DialogTemplate> ViewTemplates();
// The reader tool dialogs (templates 103, 129 to 132).
std::span<const ui::DialogTemplate> ToolDialogTemplates();
// Menus 128 to 130.
std::span<const ui::MenuTemplate> MenuTemplates();

}  // namespace flashwright
