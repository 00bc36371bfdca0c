#include "reader_tools/tool_message_box.h"

#include <QMessageBox>

namespace flashwright {
namespace {

ToolMessageBoxHook message_box_hook = nullptr;

}  // namespace

void SetToolMessageBoxHook(ToolMessageBoxHook hook) { message_box_hook = hook; }

void ShowToolMessageBox(QWidget* parent, const QString& caption, const QString& text) {
  if (message_box_hook != nullptr) {
    message_box_hook(parent, caption, text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace flashwright
