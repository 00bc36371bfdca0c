// The base of the frame's views: a form built from a dialog template inside the frame, taking
// part in command routing (commands and their update handlers reach the active view first)
// and with an initial update once it is placed in the frame.
#pragma once

#include <cstdint>
#include <memory>

#include "windowing/command_state.h"
#include "windowing/form.h"
#include "windowing/window_ref.h"

namespace flashwright::ui {

enum class ViewKind { kReader, kUsb };

class FormView : public FormEvents {
 public:
  explicit FormView(int template_id) : template_id_(template_id) {}
  ~FormView() override;
  FormView(const FormView&) = delete;
  FormView& operator=(const FormView&) = delete;

  // Makes the form's window in the frame's client area `parent`; `frame` is the frame
  // window itself (the owner of the view's boxes and the receiver of device notices).
  // False when the template does not exist or the window cannot be made.
  bool Create(WindowRef parent, WindowRef frame);
  bool Created() const { return form_ != nullptr; }
  int TemplateId() const { return template_id_; }
  // The view's controls; only after Create.
  Form& form() const { return *form_; }
  WindowRef FrameWindow() const { return frame_; }

  virtual ViewKind Kind() const = 0;
  virtual void OnInitialUpdate() = 0;
  // True when the view handles the command (and has run it).
  virtual bool OnCommand(int command_id) = 0;
  // True when the view has an update handler for the command (and has filled `state`).
  virtual bool OnUpdateCommand(CommandState& state) = 0;
  // True when the view handles the command at all (so the frame leaves it enabled).
  virtual bool HasCommand(int command_id) const = 0;
  // Device-change notices forwarded by the frame; only the USB view takes them.
  virtual void OnDeviceChange(unsigned event_type, std::uintptr_t event_data) {
    (void)event_type;
    (void)event_data;
  }

 protected:
  // The view's form goes before the derived view's members do, so that no notification or
  // posted record reaches a half-destroyed view. Derived destructors call this first.
  void DestroyForm() { form_.reset(); }

 private:
  int template_id_;
  WindowRef frame_;
  std::unique_ptr<Form> form_;
};

}  // namespace flashwright::ui
