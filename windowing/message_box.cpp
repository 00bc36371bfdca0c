#include "windowing/message_box.h"

#include "windowing/backend.h"
#include "windowing/ui_check.h"

namespace flashwright::ui {

namespace {
MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}
// Boxes being shown (or answered by the handler) on the user-interface thread.
int open_boxes = 0;

class OpenBox {
 public:
  OpenBox() { ++open_boxes; }
  ~OpenBox() { --open_boxes; }
  OpenBox(const OpenBox&) = delete;
  OpenBox& operator=(const OpenBox&) = delete;
};
}  // namespace

int MessageBox(WindowRef owner, const std::string& text, const std::string& caption,
               unsigned style) {
  // A box over a box means some handler reacted to an event the first box let through.
  if (open_boxes > 0) ReportMisuse("message box asked for while another is open", open_boxes);
  const OpenBox open;
  const MessageBoxRequest request{owner, text, caption, style};
  if (Handler()) {
    const MessageBoxHandler handler = Handler();
    return handler(request);
  }
  return ShowMessageBox(request);
}

void SetMessageBoxHandler(MessageBoxHandler handler) { Handler() = std::move(handler); }

}  // namespace flashwright::ui
