// A window of the backend as the rest of the program sees it: an opaque reference that can be
// passed on (as the owner of a message box, a dialog or the folder browser) but not looked
// into. The null reference means "no window" (the box or dialog is owned by the active window).
#pragma once

namespace flashwright::ui {

class NativeWindow;  // defined by each backend only

class WindowRef {
 public:
  WindowRef() = default;
  explicit WindowRef(NativeWindow* window) : window_(window) {}

  explicit operator bool() const { return window_ != nullptr; }
  bool operator==(const WindowRef&) const = default;
  // For the backend that made it.
  NativeWindow* native() const { return window_; }

 private:
  NativeWindow* window_ = nullptr;
};

}  // namespace flashwright::ui
