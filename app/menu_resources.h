// The menu resources 128 (basic, both views), 129 (advanced, reader view) and 130 (advanced,
// USB view). Every item carries its command identifier in the action property "command".
#pragma once

class QAction;
class QMenuBar;
class QWidget;

namespace flashwright {

inline constexpr const char kCommandProperty[] = "command";

// Position of the Device popup in the menu.
int DevicePopupPosition(int menu_id);

// A new menu bar for `menu_id`, or nullptr for an unknown identifier.
QMenuBar* LoadMenuResource(int menu_id, QWidget* parent);

int CommandOf(const QAction* action);

}  // namespace flashwright
