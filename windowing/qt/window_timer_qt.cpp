#include "windowing/qt/window_timer_qt.h"

#include <QTimerEvent>

namespace flashwright::ui {

WindowTimers::WindowTimers(QObject* owner, Handler handler)
    : QObject(owner), handler_(std::move(handler)) {}

WindowTimers::~WindowTimers() {
  for (const auto& [ours, qt_id] : qt_ids_) killTimer(qt_id);
}

void WindowTimers::SetTimer(int timer_id, int period_ms) {
  KillTimer(timer_id);
  qt_ids_[timer_id] = startTimer(period_ms < 0 ? 0 : period_ms);
}

bool WindowTimers::KillTimer(int timer_id) {
  auto found = qt_ids_.find(timer_id);
  if (found == qt_ids_.end()) return false;
  killTimer(found->second);
  qt_ids_.erase(found);
  return true;
}

bool WindowTimers::IsRunning(int timer_id) const { return qt_ids_.count(timer_id) != 0; }

void WindowTimers::timerEvent(QTimerEvent* event) {
  for (const auto& [ours, qt_id] : qt_ids_) {
    if (qt_id == event->timerId()) {
      const int id = ours;  // the handler may kill or set timers
      if (handler_) handler_(id);
      return;
    }
  }
}

}  // namespace flashwright::ui
