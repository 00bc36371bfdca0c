// Stands in for the USB device update view until that view exists: an empty form that takes
// its place in the frame (menu set, title, view switching) and nothing more.
#pragma once

#include "windowing/form_view.h"

namespace flashwright {

class CMainFrame;

class CUsbViewPlaceholder : public ui::FormView {
 public:
  explicit CUsbViewPlaceholder(QWidget* parent = nullptr);

  ui::ViewKind Kind() const override { return ui::ViewKind::kUsb; }
  void OnInitialUpdate() override;
  bool OnCommand(int command_id) override;
  bool OnUpdateCommand(ui::CommandState& state) override;
  bool HasCommand(int command_id) const override;
  void OnDeviceChange(unsigned event_type, std::uintptr_t event_data) override;

  int DeviceChangesSeen() const { return device_changes_; }

 private:
  CMainFrame* Frame() const;
  void ShowBasic();
  void ShowAdvanced();

  bool allow_non_matching_ = false;
  int device_changes_ = 0;
};

}  // namespace flashwright
