#include "windowing/key_state.h"

#include <QGuiApplication>

namespace flashwright::ui {

namespace {
std::function<bool()>& ControlKeySource() {
  static std::function<bool()> source;
  return source;
}
}  // namespace

bool IsControlKeyDown() {
  if (ControlKeySource()) return ControlKeySource()();
  // Asks the window system now rather than the state of the last input event, which is
  // what a key-state query does.
  return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
}

void SetControlKeySourceForTesting(std::function<bool()> source) {
  ControlKeySource() = std::move(source);
}

}  // namespace flashwright::ui
