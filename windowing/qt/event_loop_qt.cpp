#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <cstdlib>

#include "windowing/event_loop.h"

namespace flashwright::ui {

bool InitWindowing(int& argc, char** argv) {
  if (QApplication::instance() != nullptr) return true;
#if defined(__linux__)
  // Without a platform named and without a display, Qt would end the process; the caller
  // reports it instead.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if ((platform == nullptr || *platform == '\0') && std::getenv("DISPLAY") == nullptr &&
      std::getenv("WAYLAND_DISPLAY") == nullptr)
    return false;
#endif
  // Qt takes its own options (-platform, -style, ...) out of argv. The application lives as
  // long as the process.
  new QApplication(argc, argv);
  return true;
}

int RunEventLoop() { return QApplication::exec(); }

void QuitEventLoop(int exit_code) { QCoreApplication::exit(exit_code); }

void PostTask(std::function<void()> task, int delay_ms) {
  QTimer::singleShot(delay_ms < 0 ? 0 : delay_ms, QCoreApplication::instance(), std::move(task));
}

void ProcessEvents(int max_ms) {
  QCoreApplication::processEvents(QEventLoop::AllEvents, max_ms < 0 ? 0 : max_ms);
  // Windows deleted later go now, as they would in the loop.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool WaitUntil(const std::function<bool()>& condition, int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeout_ms) return condition();
    ProcessEvents(10);
    QThread::msleep(2);
  }
  return true;
}

}  // namespace flashwright::ui
