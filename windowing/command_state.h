// What an update handler says about one menu command: enabled, and optionally its check mark.
#pragma once

#include <optional>

namespace flashwright::ui {

struct CommandState {
  explicit CommandState(int command_id) : id(command_id) {}
  void Enable(bool on) { enabled = on; }
  void SetCheck(bool on) { checked = on; }

  int id;
  bool enabled = true;
  std::optional<bool> checked;
};

}  // namespace flashwright::ui
