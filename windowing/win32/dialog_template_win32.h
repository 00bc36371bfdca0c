// The shared dialog templates as the in-memory DLGTEMPLATEEX that CreateDialogIndirectParamA
// takes: the same bytes a resource compiler would put into the program for the template, so
// the dialog manager places the controls in dialog units of the template's own font.
#pragma once

#include "windowing/win32/native_window_win32.h"

#include <cstdint>
#include <vector>

#include "windowing/resource_templates.h"

namespace flashwright::ui {

enum class DialogRole { kChildForm, kPopupDialog };

// The template's words, aligned as the dialog manager reads them.
std::vector<WORD> BuildDialogTemplate(const DialogTemplate& dialog, DialogRole role);

// The window class and styles of one control, as the template records them.
struct ControlClass {
  const char* window_class;
  DWORD style;
  DWORD ex_style;
};
ControlClass ControlClassOf(const ControlTemplate& control);

// A drop-down list's template height covers its list too; the shared templates give only the
// closed box's height.
inline constexpr int kDropDownListExtent = 80;

}  // namespace flashwright::ui
