// The program's only top-level window: a fixed-size frame that holds one view at a time, owns
// the menu bar (basic or advanced set), keeps the title (device name, or the update progress
// while minimised), switches views on the Device commands and forwards device-change notices
// to the USB view. Written once over the windowing layer's frame window.
#pragma once

#include <cstdint>
#include <memory>

#include "windowing/command_state.h"
#include "windowing/form_view.h"
#include "windowing/frame_window.h"

namespace flashwright {

class CKindlerApp;
class CKindlerDoc;

class CMainFrame : public ui::FrameEvents {
 public:
  CMainFrame(CKindlerApp& app, CKindlerDoc& document);
  ~CMainFrame() override;
  CMainFrame(const CMainFrame&) = delete;
  CMainFrame& operator=(const CMainFrame&) = delete;

  // Creates the first view of `kind` and runs its initial update. False when it cannot be made.
  bool LoadFrame(ui::ViewKind kind);
  ui::FrameWindow& Window() const { return *window_; }

  void LoadMenuSet(int menu_id);
  int IsAdvanced(int command);
  void SetAdvanced(int value, int command);
  void SetTitleCommand(int command);
  void SetTitleProgress(int command, std::int16_t percentage);

  ui::FormView* ActiveView() const { return active_view_.get(); }
  void SwitchToView(ui::ViewKind kind);

  void CheckMenuItem(int command_id, bool checked);
  int CurrentMenuId() const { return menu_id_; }

  // Routes a command as the framework does: active view, this frame, the application. Nothing
  // happens when the command's update handler disables it.
  void RouteCommand(int command_id);
  // Asks the update handlers for every menu item, as the framework does before a menu opens.
  void UpdateCommandStates() { window_->RefreshMenuStates(); }
  ui::CommandState QueryCommandState(int command_id) const;

  // What the frame window reports.
  void OnMenuCommand(int command_id) override { RouteCommand(command_id); }
  ui::CommandState OnUpdateCommand(int command_id) override { return QueryCommandState(command_id); }
  bool OnCloseRequest() override;
  void OnMinimizedChanged(bool minimized) override;
  void OnDeviceChange(unsigned event_type, std::uintptr_t event_data) override;

 private:
  bool OnFrameCommand(int command_id);
  bool OnUpdateFrameCommand(ui::CommandState& state) const;
  std::unique_ptr<ui::FormView> MakeView(ui::ViewKind kind);
  void SetDeviceChecks();
  void UpdateTitle();
  bool ReadyToCentre() const;
  void FitToView(bool centre = false);

  CKindlerApp& app_;
  CKindlerDoc& document_;
  std::unique_ptr<ui::FrameWindow> window_;
  std::unique_ptr<ui::FormView> active_view_;
  int menu_id_ = 0;

  bool centred_ = false;
  int advanced_ = 0;
  bool advanced_known_ = false;
  std::int16_t progress_ = -1;
  int title_command_ = 0;
};

}  // namespace flashwright
