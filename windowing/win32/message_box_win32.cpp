// Message boxes are the system's: the style bits of message_box.h are MessageBoxA's own.
#include "windowing/win32/native_window_win32.h"

#include "windowing/backend.h"
#include "windowing/message_box.h"

namespace flashwright::ui {

static_assert(kButtonsYesNo == MB_YESNO && kIconError == MB_ICONERROR &&
              kIconQuestion == MB_ICONQUESTION && kIconWarning == MB_ICONWARNING &&
              kIconInformation == MB_ICONINFORMATION && kDefaultButton2 == MB_DEFBUTTON2);
static_assert(kAnswerOk == IDOK && kAnswerCancel == IDCANCEL && kAnswerYes == IDYES &&
              kAnswerNo == IDNO);

int ShowMessageBox(const MessageBoxRequest& request);

int ShowMessageBox(const MessageBoxRequest& request) {
  HWND owner = HwndOf(request.owner);
  if (owner == nullptr) owner = GetActiveWindow();
  if (owner != nullptr) owner = GetAncestor(owner, GA_ROOT);
  const unsigned style = request.style & (kButtonMask | kIconMask | kDefaultButtonMask);
  return MessageBoxA(owner, request.text.c_str(), request.caption.c_str(), style);
}

}  // namespace flashwright::ui
