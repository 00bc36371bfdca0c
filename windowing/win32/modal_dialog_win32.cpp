// Form windows (backend.h): child forms of the frame, dialogs and their modal runs.
#include <memory>

#include "windowing/backend.h"
#include "windowing/win32/form_win32.h"
#include "windowing/win32/native_window_win32.h"

namespace flashwright::ui {

namespace {

// Centred on the owner, or on the work area of the desktop without one.
void Centre(HWND dialog, HWND owner) {
  RECT area{};
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &area);
  } else {
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  }
  RECT own{};
  GetWindowRect(dialog, &own);
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  const int x = area.left + ((area.right - area.left) - width) / 2;
  const int y = area.top + ((area.bottom - area.top) - height) / 2;
  SetWindowPos(dialog, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

std::unique_ptr<Form> CreateChildForm(const DialogTemplate& dialog, WindowRef parent,
                                      FormEvents& events) {
  return Win32Form::Create(dialog, DialogRole::kChildForm, HwndOf(parent), events);
}

std::unique_ptr<Form> CreateDialogForm(const DialogTemplate& dialog, WindowRef owner,
                                       FormEvents& events) {
  HWND owner_window = HwndOf(owner);
  if (owner_window == nullptr) owner_window = GetActiveWindow();
  // A dialog is owned by a top-level window, never by a child of one.
  if (owner_window != nullptr) owner_window = GetAncestor(owner_window, GA_ROOT);
  std::unique_ptr<Win32Form> form =
      Win32Form::Create(dialog, DialogRole::kPopupDialog, owner_window, events);
  if (form == nullptr) return nullptr;
  Centre(form->Handle(), owner_window);
  ShowWindow(form->Handle(), SW_SHOW);
  return form;
}

int RunModalLoop(Form& dialog) { return static_cast<Win32Form&>(dialog).RunModal(); }

void EndModalLoop(Form& dialog, int result) { static_cast<Win32Form&>(dialog).EndModal(result); }

}  // namespace flashwright::ui
