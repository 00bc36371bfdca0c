// Window timers: numbered timers of one window that call its handler on the user-interface
// thread until they are killed. Setting a running timer again restarts it with the new period.
#pragma once

#include <QObject>
#include <functional>
#include <map>

namespace flashwright::ui {

class WindowTimers : public QObject {
 public:
  using Handler = std::function<void(int timer_id)>;

  explicit WindowTimers(QObject* owner, Handler handler);
  ~WindowTimers() override;

  void SetTimer(int timer_id, int period_ms);
  bool KillTimer(int timer_id);
  bool IsRunning(int timer_id) const;

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  Handler handler_;
  std::map<int, int> qt_ids_;  // our id -> Qt's id
};

}  // namespace flashwright::ui
