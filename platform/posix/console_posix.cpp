// The console on a POSIX terminal: SIGINT is blocked in every thread and taken by sigwait on a
// thread of its own, so that no exchange with the reader is cut short by EINTR.
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/console.h"

namespace flashwright::platform {
namespace {

struct Watch {
  std::thread thread;
  std::atomic<bool> stopping{false};
  void (*on_interrupt)(void*) = nullptr;
  void* context = nullptr;
};
Watch g_watch;

sigset_t InterruptSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

int TerminalColumns(std::FILE* stream) {
  winsize size{};
  if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 0;
}

void StartInterruptWatch(void (*on_interrupt)(void*), void* context) {
  if (g_watch.thread.joinable()) return;
  const sigset_t set = InterruptSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  g_watch.on_interrupt = on_interrupt;
  g_watch.context = context;
  g_watch.stopping.store(false);
  g_watch.thread = std::thread([] {
    const sigset_t interrupts = InterruptSet();
    for (;;) {
      int signal_number = 0;
      if (sigwait(&interrupts, &signal_number) != 0) continue;
      if (g_watch.stopping.load()) return;
      g_watch.on_interrupt(g_watch.context);
    }
  });
}

void StopInterruptWatch() {
  if (!g_watch.thread.joinable()) return;
  g_watch.stopping.store(true);
  pthread_kill(g_watch.thread.native_handle(), SIGINT);
  g_watch.thread.join();
}

}  // namespace flashwright::platform
