#include "app/cli/signal_watcher.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "app/cli/exit_status.h"

namespace flashwright::cli {
namespace {

sigset_t InterruptSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

SignalWatcher::SignalWatcher() {
  const sigset_t set = InterruptSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  thread_ = std::thread([this] { Watch(); });
}

SignalWatcher::~SignalWatcher() {
  stopping_.store(true);
  pthread_kill(thread_.native_handle(), SIGINT);
  thread_.join();
}

void SignalWatcher::Watch() {
  const sigset_t set = InterruptSet();
  for (;;) {
    int signal_number = 0;
    if (sigwait(&set, &signal_number) != 0) continue;
    if (stopping_.load()) return;
    if (mode_.load() == Mode::Exit) {
      // Nothing is half done outside an update run: the kernel closes the port.
      _exit(kExitInterrupted);
    }
    requested_.store(true);
  }
}

ScopedSignalMode::ScopedSignalMode(SignalWatcher* watcher, SignalWatcher::Mode mode)
    : watcher_(watcher) {
  if (watcher_ != nullptr) watcher_->SetMode(mode);
}

ScopedSignalMode::~ScopedSignalMode() {
  if (watcher_ != nullptr) {
    watcher_->TakeRequest();
    watcher_->SetMode(SignalWatcher::Mode::Exit);
  }
}

}  // namespace flashwright::cli
