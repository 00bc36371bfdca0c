#include "reader_tools/tool_message_box.h"

#include "windowing/message_box.h"

namespace flashwright {

void ShowToolMessageBox(ui::WindowRef owner, const std::string& caption, const std::string& text) {
  ui::MessageBox(owner, text, caption, ui::kButtonsOk);
}

}  // namespace flashwright
