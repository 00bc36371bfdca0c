#include <QGuiApplication>

#include "windowing/backend.h"

namespace flashwright::ui {

bool SystemControlKeyDown() {
  // Asks the window system now rather than the state of the last input event, which is
  // what a key-state query does.
  return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
}

}  // namespace flashwright::ui
