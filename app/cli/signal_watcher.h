// Ctrl-C for flashwright-cli. The interrupt is taken by a thread of its own (platform/console.h)
// and means, depending on what the program is doing:
//  - Exit: end the program at once with status 130 (discovery, reads, sets);
//  - Hold: an update run owns the reader, which must not be left half-programmed: the request
//    is noted and the run goes on (the windowed program refuses to close while busy);
//  - Stop: continuous work (diagnostics) stops after its current round.
#pragma once

#include <atomic>

namespace flashwright::cli {

class SignalWatcher {
 public:
  enum class Mode { Exit, Hold, Stop };

  // Must be made before any other thread, so that they all inherit the blocked signal.
  SignalWatcher();
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

  void SetMode(Mode mode) { mode_.store(mode); }
  // True once Ctrl-C came in Hold or Stop mode; cleared by TakeRequest.
  bool Requested() const { return requested_.load(); }
  bool TakeRequest() { return requested_.exchange(false); }

 private:
  void OnInterrupt();

  std::atomic<Mode> mode_{Mode::Exit};
  std::atomic<bool> requested_{false};
};

// Sets the watcher's mode for a scope and Exit again afterwards, dropping a request made
// meanwhile.
class ScopedSignalMode {
 public:
  ScopedSignalMode(SignalWatcher* watcher, SignalWatcher::Mode mode);
  ~ScopedSignalMode();
  ScopedSignalMode(const ScopedSignalMode&) = delete;
  ScopedSignalMode& operator=(const ScopedSignalMode&) = delete;

 private:
  SignalWatcher* watcher_;
};

}  // namespace flashwright::cli
