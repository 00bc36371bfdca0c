// A form on Win32: a dialog made by the dialog manager from the shared template (a child
// dialog inside the frame for a form view, a popup dialog for a modal one). Control calls are
// messages to the dialog's items; notifications reach FormEvents only for the user's own
// actions; window timers are the dialog's; posted records arrive as registered window
// messages that carry the record in their lParam.
#pragma once

#include "windowing/win32/native_window_win32.h"

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "windowing/form.h"
#include "windowing/win32/dialog_template_win32.h"

namespace flashwright::ui {

class Win32Form final : public Form {
 public:
  // Null when the dialog manager cannot make the window.
  static std::unique_ptr<Win32Form> Create(const DialogTemplate& dialog, DialogRole role,
                                           HWND parent, FormEvents& events);
  ~Win32Form() override;

  const DialogTemplate& Template() const override { return template_; }
  WindowRef Window() const override;
  void SetCaption(const std::string& caption) override;
  std::string Caption() const override;
  HWND Handle() const { return window_; }
  DialogRole Role() const { return role_; }

  void SetText(int id, const std::string& text) override;
  std::string Text(int id) const override;
  void Enable(int id, bool enabled) override;
  bool IsEnabled(int id) const override;
  void Show(int id, bool visible) override;
  bool IsVisible(int id) const override;
  void SetCheck(int id, bool checked) override;
  bool Checked(int id) const override;
  void ResetContent(int id) override;
  int AddItem(int id, const std::string& text, std::intptr_t data) override;
  int ItemCount(int id) const override;
  std::string ItemText(int id, int index) const override;
  std::intptr_t ItemData(int id, int index) const override;
  void SetCurSel(int id, int index) override;
  int CurSel(int id) const override;
  void SetProgressPos(int id, int position) override;
  int ProgressPos(int id) const override;
  void ShowPaneMessage(int id, const std::string& text, PaneKind kind, bool redraw_now) override;
  Rgb PaneBackground(int id) const override;
  bool PaneBold(int id) const override;
  void SetRedraw(bool on) override;
  void RedrawNow() override;
  void SetFocus(int id) override;
  void SetTimer(int timer_id, int period_ms) override;
  bool KillTimer(int timer_id) override;
  bool TimerRunning(int timer_id) const override;
  void AcceptPosted(std::initializer_list<const char*> message_names) override;
  TargetHandle PostTarget() const override;
  void Click(int id) override;
  void Choose(int id, int index) override;
  void TypeText(int id, const std::string& text) override;

  // The form that holds `window` (the form's own window or one of its controls), innermost
  // first; null when it is none of ours.
  static Win32Form* Containing(HWND window);
  // The forms that are direct children of `parent`, newest first. Whether a form is shown is
  // not asked: WM_SETREDRAW clears WS_VISIBLE while a form fills its controls.
  static std::vector<Win32Form*> ChildFormsOf(HWND parent);
  // Keys the form handles itself: its accelerators and the dialog manager's keys. True when
  // the message was used up.
  bool PreTranslate(MSG& message);

  // Modal runs (backend.h).
  int RunModal();
  void EndModal(int result);

 private:
  class Poster;
  struct ModalState {
    bool running = false;
    bool ended = false;
    int result = 0;
  };

  Win32Form(const DialogTemplate& dialog, DialogRole role, FormEvents& events);
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam, bool* handled);
  void OnInitControls();
  void OnCommand(int id, int code);
  // Takes the posted records still queued for the window and frees them, once.
  void DropQueuedRecords();
  void Detach();

  // The item of control `id`, or null (with a report) when the template has no such control.
  const ControlTemplate* Find(int id) const;
  HWND Item(int id) const;
  HWND ItemOfKind(int id, ControlKind a, ControlKind b) const;
  bool IsList(const ControlTemplate& control) const;

  const DialogTemplate& template_;
  DialogRole role_;
  FormEvents& events_;
  HWND window_ = nullptr;
  // Above zero while the program itself changes a control, so that the control's own
  // notifications are not taken for the user's.
  int quiet_ = 0;
  std::set<int> timers_;
  std::map<int, PaneKind> pane_kinds_;
  std::unique_ptr<Poster> poster_;
  // Registered window message of each accepted name, with the posting table's id.
  std::map<UINT, MessageId> posted_messages_;
  std::shared_ptr<ModalState> modal_;
};

}  // namespace flashwright::ui
