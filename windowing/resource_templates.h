// The program's resources as data: dialog templates (controls with their identifiers, kinds,
// texts and places in dialog units) and menus. Every backend builds its windows from these
// tables, as the platform's resource compiler would from a resource script; the tables
// themselves belong to the application (they are installed once at start-up) and name no
// toolkit.
#pragma once

#include <cstdint>
#include <span>

namespace flashwright::ui {

enum class ControlKind : std::uint8_t {
  kLabel,          // static text
  kGroupBox,
  kPushButton,
  kDefaultButton,  // the push button that Enter presses
  kCheckBox,
  kDropDownList,   // a combo box without an edit field
  kListBox,
  kEdit,           // one-line edit
  kProgressBar,    // range 0 to 100
  kRichEdit,       // the coloured message pane (multi-line, read-only, with a border)
  kIcon,           // the program's icon
};

// Control styles, combined with "|".
enum ControlStyle : std::uint32_t {
  kStyleNone = 0,
  kStyleReadOnly = 1u << 0,     // edit: shows a value, takes no input
  kStyleSelectable = 1u << 1,   // label: its text can be selected and copied
  kStyleAlignTop = 1u << 2,     // label: several lines from the top
  kStyleNoSelection = 1u << 3,  // list box: items cannot be selected
  kStyleVScroll = 1u << 4,      // list box: a vertical scroll bar always
  kStyleHidden = 1u << 5,       // not visible at first
  kStyleDisabled = 1u << 6,     // disabled at first
  kStyleBorder = 1u << 7,
};

struct ControlTemplate {
  ControlKind kind;
  int id;            // 0 for controls that are never addressed
  const char* text;  // caption, label text or button text; "" when none
  // Place and size in dialog units.
  int x, y, width, height;
  std::uint32_t style = kStyleNone;
  // The initial items of a drop-down list or list box, in order (the template's
  // initialisation data).
  std::span<const char* const> items = {};
  // A one-line edit takes at most this many characters (0: no limit).
  int max_chars = 0;
};

// Dialog styles, combined with "|".
enum DialogStyle : std::uint32_t {
  kDialogStyleNone = 0,
  kDialogSystemMenu = 1u << 0,  // a system menu and close box on the caption
  kDialogChild = 1u << 1,       // a form view inside the frame (no caption, no border)
};

// Key shortcuts of a form: the key sends the command of control `id` as a click would.
enum class AcceleratorKey : std::uint8_t { kF5 };
struct AcceleratorTemplate {
  AcceleratorKey key;
  int id;
};

struct DialogTemplate {
  int id;
  const char* caption;  // "" for a form view
  int width, height;    // dialog units
  std::uint32_t style;
  const char* font;     // typeface and point size the template names
  int point_size;
  std::span<const ControlTemplate> controls;
  std::span<const AcceleratorTemplate> accelerators = {};
};

// Menu item flags, combined with "|".
enum MenuItemFlag : std::uint32_t {
  kMenuItemNone = 0,
  kMenuSeparator = 1u << 0,
  kMenuCheckable = 1u << 1,  // the item shows a check mark when its handler asks for one
};

struct MenuItemTemplate {
  const char* text;  // with "&" before the mnemonic; "" for a separator
  int command;       // 0 for a separator
  std::uint32_t flags = kMenuItemNone;
};

struct MenuPopupTemplate {
  const char* text;
  std::span<const MenuItemTemplate> items;
};

struct MenuTemplate {
  int id;
  std::span<const MenuPopupTemplate> popups;
};

struct ResourceTable {
  std::span<const DialogTemplate> dialogs;
  std::span<const MenuTemplate> menus;
};

// The application installs its table once before the first window is made (tests may install
// one of their own). Dialog and menu identifiers are separate name spaces, as in a resource
// script: dialog 129 and menu 129 are different resources.
void InstallResources(const ResourceTable* table);

// The template or menu with `id`, or nullptr (with a clear failure in debug builds) when the
// installed table has none.
const DialogTemplate* FindDialogTemplate(int id);
const MenuTemplate* FindMenuTemplate(int id);
// The control `id` of `dialog`, or nullptr.
const ControlTemplate* FindControlTemplate(const DialogTemplate& dialog, int id);

}  // namespace flashwright::ui
