// Runs a dialog modally and returns how it ended. Tests install a handler that ends the
// dialog in place of the user (after looking at it).
#pragma once

#include <functional>

class QDialog;

namespace flashwright::ui {

enum DialogResult : int { kDialogOk = 1, kDialogCancel = 2 };

using ModalDialogHandler = std::function<int(QDialog&)>;

int DoModal(QDialog& dialog);

// An empty handler restores the real modal loop.
void SetModalDialogHandler(ModalDialogHandler handler);

}  // namespace flashwright::ui
