// A form of the Qt backend: the controls of one dialog template as Qt widgets at the
// template's places (one dialog unit is two pixels each way), addressed by identifier.
#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>

#include "windowing/form.h"
#include "windowing/qt/qt_post_target.h"
#include "windowing/qt/window_timer_qt.h"

class QEventLoop;

namespace flashwright::ui {

inline constexpr int kPixelsPerDialogUnit = 2;

class QtForm final : public Form {
 public:
  // Makes the controls of `dialog` as children of `window` (the form's own widget, which the
  // form owns from here on).
  QtForm(const DialogTemplate& dialog, QWidget* window, FormEvents& events);
  ~QtForm() override;

  const DialogTemplate& Template() const override { return dialog_; }
  WindowRef Window() const override;
  void SetCaption(const std::string& caption) override;
  std::string Caption() const override;

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

  QWidget* widget() const { return window_; }
  FormEvents& events() const { return events_; }

  // The modal loop of a dialog form (RunModalLoop, EndModalLoop).
  int RunModal();
  void EndModal(int result);

 private:
  // The control `id`, or nullptr with the misuse reported.
  QWidget* Control(int id) const;
  template <typename Widget>
  Widget* ControlAs(int id) const;
  void Build();
  void Notify(int id, Notification notification);

  const DialogTemplate& dialog_;
  QPointer<QWidget> window_;
  FormEvents& events_;
  std::map<int, QWidget*> controls_;
  // Set while the program itself changes a list box's selection (no notification then).
  int quiet_ = 0;
  // Set once the form is going: its controls tell nobody any more.
  bool closing_ = false;
  std::unique_ptr<QObject> receiver_;
  std::unique_ptr<QtPostTarget> post_target_;
  std::unique_ptr<WindowTimers> timers_;
  QEventLoop* modal_loop_ = nullptr;
  bool modal_ended_ = false;
  int modal_result_ = 0;
};

}  // namespace flashwright::ui
