#include "app/cli/signal_watcher.h"

#include <cstdlib>

#include "app/cli/exit_status.h"
#include "platform/console.h"

namespace flashwright::cli {

SignalWatcher::SignalWatcher() {
  platform::StartInterruptWatch(
      [](void* watcher) { static_cast<SignalWatcher*>(watcher)->OnInterrupt(); }, this);
}

SignalWatcher::~SignalWatcher() { platform::StopInterruptWatch(); }

void SignalWatcher::OnInterrupt() {
  if (mode_.load() == Mode::Exit) {
    // Nothing is half done outside an update run: the system closes the port.
    std::_Exit(kExitInterrupted);
  }
  requested_.store(true);
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
