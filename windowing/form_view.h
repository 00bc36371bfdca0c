// The base of the frame's views: a form that takes part in command routing (commands and their
// update handlers reach the active view first) and has an initial update once it is placed in
// the frame.
#pragma once

#include <QWidget>
#include <cstdint>

#include "windowing/command_state.h"

namespace flashwright::ui {

enum class ViewKind { kReader, kUsb };

class FormView : public QWidget {
 public:
  explicit FormView(QWidget* parent = nullptr) : QWidget(parent) {}
  ~FormView() override = default;

  virtual ViewKind Kind() const = 0;
  virtual void OnInitialUpdate() = 0;
  // True when the view handles the command (and has run it).
  virtual bool OnCommand(int command_id) = 0;
  // True when the view has an update handler for the command (and has filled `state`).
  virtual bool OnUpdateCommand(CommandState& state) = 0;
  // True when the view handles the command at all (so the frame leaves it enabled).
  virtual bool HasCommand(int command_id) const = 0;
  // Device-change notices forwarded by the frame; only the USB view takes them.
  virtual void OnDeviceChange(unsigned event_type, std::uintptr_t event_data) {
    (void)event_type;
    (void)event_data;
  }
};

}  // namespace flashwright::ui
