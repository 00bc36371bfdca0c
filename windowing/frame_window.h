// The program's top-level frame window as the backend makes it: a caption with a system menu
// and a minimise box, no sizing border and no maximise box; a menu bar loaded from a menu
// template; a client area that holds one form view at a time and that the frame fits to it.
// The frame's own logic (menu sets, title, view switching, command routing) is written once
// above this interface; the backend only turns the user's actions into FrameEvents.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "windowing/command_state.h"
#include "windowing/window_ref.h"

namespace flashwright::ui {

class FrameEvents {
 public:
  virtual ~FrameEvents() = default;
  // A menu item was chosen (only an enabled one can be).
  virtual void OnMenuCommand(int command_id) = 0;
  // Asked for every item of a popup just before it opens (and by RefreshMenuStates).
  virtual CommandState OnUpdateCommand(int command_id) = 0;
  // The close box, Alt+F4 or the system menu's Close: false keeps the frame open.
  virtual bool OnCloseRequest() = 0;
  // The frame was minimised or restored.
  virtual void OnMinimizedChanged(bool minimized) = 0;
  // A device-change notice registered with RegisterDeviceNotice, on the user-interface
  // thread.
  virtual void OnDeviceChange(unsigned event_type, std::uintptr_t event_data) = 0;
};

class FrameWindow {
 public:
  virtual ~FrameWindow() = default;

  virtual WindowRef Window() const = 0;
  // The parent of the views' forms.
  virtual WindowRef ClientArea() const = 0;

  // Replaces the menu bar with menu `menu_id`, leaving out the popup at `omit_popup` (-1:
  // none). False, with the menu bar unchanged, when there is no such menu.
  virtual bool LoadMenu(int menu_id, int omit_popup = -1) = 0;
  virtual bool HasMenuItem(int command_id) const = 0;
  // The item's text without the "&" of its mnemonic; nothing when the bar has no such item.
  virtual std::optional<std::string> MenuItemText(int command_id) const = 0;
  virtual void SetMenuItemText(int command_id, const std::string& text) = 0;
  virtual void CheckMenuItem(int command_id, bool checked) = 0;
  virtual bool MenuItemChecked(int command_id) const = 0;
  virtual bool MenuItemEnabled(int command_id) const = 0;
  // Runs OnUpdateCommand for every item, as before a popup opens, and applies the answers.
  virtual void RefreshMenuStates() = 0;
  // The user chooses the item (nothing happens when its update handler greys it).
  virtual void ChooseMenuItem(int command_id) = 0;

  virtual void SetTitle(const std::string& title) = 0;
  virtual std::string Title() const = 0;
  virtual bool IsMinimized() const = 0;
  virtual void SetMinimized(bool minimized) = 0;

  // Fits the client area to a form of `width` x `height` dialog units (the frame cannot be
  // resized by the user) and, the first time, centres the frame on the desktop.
  virtual void FitClientArea(int width, int height, bool centre) = 0;
  virtual void Show() = 0;
  // Shown and not closed (minimised counts as shown).
  virtual bool IsShown() const = 0;
  // As the user's close box: OnCloseRequest decides.
  virtual void RequestClose() = 0;
};

}  // namespace flashwright::ui
