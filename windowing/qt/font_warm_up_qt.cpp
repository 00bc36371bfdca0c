#include "windowing/qt/font_warm_up_qt.h"

#include <fontconfig/fontconfig.h>

#include <system_error>
#include <thread>

namespace flashwright::ui {

namespace {

class FontWarmUp {
 public:
  FontWarmUp() = default;
  FontWarmUp(const FontWarmUp&) = delete;
  FontWarmUp& operator=(const FontWarmUp&) = delete;
  // A process that ends without having waited still lets the reading finish first.
  ~FontWarmUp() { Await(); }

  void Start() {
    if (started_) return;
    started_ = true;
    try {
      thread_ = std::thread([] { FcInit(); });
    } catch (const std::system_error&) {
      // Without a thread Qt reads the configuration itself, as it would anyway.
    }
  }

  void Await() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  bool started_ = false;
  std::thread thread_;
};

// Started and waited for on the user-interface thread only.
FontWarmUp& TheWarmUp() {
  static FontWarmUp warm_up;
  return warm_up;
}

}  // namespace

void StartFontWarmUp() { TheWarmUp().Start(); }

void AwaitFontWarmUp() { TheWarmUp().Await(); }

}  // namespace flashwright::ui
