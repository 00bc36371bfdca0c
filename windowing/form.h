// A form: the controls of one dialog template, made by the backend as children of a form view
// or a dialog, and addressed by their template identifiers. The owner (a view or a dialog
// written once against this interface) gives a FormEvents that receives the controls'
// notifications, its window timers and the records posted to it, all on the user-interface
// thread.
//
// Control calls name a control by its identifier. An identifier that the template does not
// have is a programming error: debug builds stop with a message naming form and control,
// release builds do nothing (getters return an empty text, false, -1 or 0).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/posted_messages.h"
#include "windowing/message_pane.h"
#include "windowing/resource_templates.h"
#include "windowing/window_ref.h"

namespace flashwright::ui {

// What a control tells its form about. Only the user's own actions notify: filling a list or
// setting a selection, a text or a check mark from the program does not.
enum class Notification : std::uint8_t {
  kClicked,      // a push button or check box was pressed (a check box has toggled already)
  kSelChange,    // the user chose another item of a drop-down list or list box
  kEditChange,   // the user changed the text of an edit
};

class FormEvents {
 public:
  virtual ~FormEvents() = default;
  virtual void OnNotify(int control_id, Notification notification) = 0;
  virtual void OnTimer(int timer_id) { (void)timer_id; }
  // A record posted to this form (see Form::PostTarget); the handler owns it from here on.
  virtual void OnPosted(MessageId message, std::unique_ptr<PostedRecord> record) {
    (void)message;
    (void)record;
  }
};

class Form {
 public:
  virtual ~Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  virtual const DialogTemplate& Template() const = 0;
  virtual WindowRef Window() const = 0;
  // A dialog's caption in place of the template's (a form view has none to show).
  virtual void SetCaption(const std::string& caption) = 0;
  virtual std::string Caption() const = 0;
  // True when the template has control `id`.
  bool HasControl(int id) const { return FindControlTemplate(Template(), id) != nullptr; }

  // Texts: labels, buttons, group boxes, edits, the message pane. "\r\n" separates lines.
  virtual void SetText(int id, const std::string& text) = 0;
  virtual std::string Text(int id) const = 0;

  virtual void Enable(int id, bool enabled) = 0;
  virtual bool IsEnabled(int id) const = 0;
  virtual void Show(int id, bool visible) = 0;
  virtual bool IsVisible(int id) const = 0;

  // Check boxes.
  virtual void SetCheck(int id, bool checked) = 0;
  virtual bool Checked(int id) const = 0;

  // Drop-down lists and list boxes: items in the order added, each with a number of the
  // owner's choosing. The selection is an item index, -1 for none.
  virtual void ResetContent(int id) = 0;
  virtual int AddItem(int id, const std::string& text, std::intptr_t data = 0) = 0;
  virtual int ItemCount(int id) const = 0;
  virtual std::string ItemText(int id, int index) const = 0;
  virtual std::intptr_t ItemData(int id, int index) const = 0;
  // The index of the first item whose data is `data`, or -1.
  int FindItemData(int id, std::intptr_t data) const {
    for (int i = 0; i < ItemCount(id); ++i)
      if (ItemData(id, i) == data) return i;
    return -1;
  }
  virtual void SetCurSel(int id, int index) = 0;
  virtual int CurSel(int id) const = 0;

  // Progress bars: 0 to 100.
  virtual void SetProgressPos(int id, int position) = 0;
  virtual int ProgressPos(int id) const = 0;

  // The message pane (a rich edit control): the text replaced, with the kind's background
  // and weight. With `redraw_now` the pane repaints before this returns.
  virtual void ShowPaneMessage(int id, const std::string& text, PaneKind kind,
                               bool redraw_now) = 0;
  virtual Rgb PaneBackground(int id) const = 0;
  virtual bool PaneBold(int id) const = 0;

  // Redrawing: while off, changes are not painted; turning it on repaints the whole form.
  virtual void SetRedraw(bool on) = 0;
  // Paints what has changed now, without waiting for the event loop.
  virtual void RedrawNow() = 0;
  // Gives the keyboard focus to control `id`.
  virtual void SetFocus(int id) = 0;

  // Window timers: timer `timer_id` calls FormEvents::OnTimer every `period_ms` until killed;
  // setting a running timer again restarts it. A tick that falls due while the program is
  // busy in a handler is not queued up.
  virtual void SetTimer(int timer_id, int period_ms) = 0;
  virtual bool KillTimer(int timer_id) = 0;
  virtual bool TimerRunning(int timer_id) const = 0;

  // Posted records: after AcceptPosted, records posted (from any thread, platform's
  // PostRecord) to PostTarget() with one of the named messages reach FormEvents::OnPosted in
  // order. The form owns a record from its arrival until the handler takes it; records of
  // other messages, and records still queued when the form goes, are freed, once.
  virtual void AcceptPosted(std::initializer_list<const char*> message_names) = 0;
  virtual TargetHandle PostTarget() const = 0;

  // What a user does, for tests and automation: the same notifications as a real click or
  // choice (and nothing when the control is disabled or hidden).
  virtual void Click(int id) = 0;
  virtual void Choose(int id, int index) = 0;
  virtual void TypeText(int id, const std::string& text) = 0;

 protected:
  Form() = default;
};

}  // namespace flashwright::ui
