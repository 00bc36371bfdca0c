// The program's only top-level window: a fixed-size frame that holds one view at a time, owns
// the menu bar (basic or advanced set), keeps the title (device name, or the update progress
// while minimised), switches views on the Device commands and forwards device-change notices
// to the USB view.
#pragma once

#include <QMainWindow>
#include <cstdint>

#include "windowing/command_state.h"
#include "windowing/form_view.h"

class QAction;

namespace flashwright {

class CKindlerApp;
class CKindlerDoc;

class CMainFrame : public QMainWindow {
 public:
  CMainFrame(CKindlerApp& app, CKindlerDoc& document);
  ~CMainFrame() override;

  // Creates the first view of `kind` and runs its initial update. False when it cannot be made.
  bool LoadFrame(ui::ViewKind kind);

  void LoadMenuSet(int menu_id);
  int IsAdvanced(int command);
  void SetAdvanced(int value, int command);
  void SetTitleCommand(int command);
  void SetTitleProgress(int command, std::int16_t percentage);

  ui::FormView* ActiveView() const { return active_view_; }
  void SwitchToView(ui::ViewKind kind);

  // The item of the current menu bar for `command_id`, or nullptr.
  QAction* MenuItem(int command_id) const;
  void CheckMenuItem(int command_id, bool checked);
  int CurrentMenuId() const { return menu_id_; }

  // Routes a command as the framework does: active view, this frame, the application. Nothing
  // happens when the command's update handler disables it.
  void RouteCommand(int command_id);
  // Asks the update handlers for every menu item, as the framework does before a menu opens.
  void UpdateCommandStates();
  ui::CommandState QueryCommandState(int command_id) const;

  // Device-change notices (also arrive as posted ui::DeviceChangeEvent).
  bool OnDeviceChange(unsigned event_type, std::uintptr_t event_data);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  bool OnFrameCommand(int command_id);
  bool OnUpdateFrameCommand(ui::CommandState& state) const;
  void SetDeviceChecks();
  void UpdateTitle();
  void ResizeToView();
  void ConnectMenu();

  CKindlerApp& app_;
  CKindlerDoc& document_;
  QWidget* view_host_ = nullptr;
  ui::FormView* active_view_ = nullptr;
  int menu_id_ = 0;

  bool centred_ = false;
  int advanced_ = 0;
  bool advanced_known_ = false;
  std::int16_t progress_ = -1;
  int title_command_ = 0;
};

}  // namespace flashwright
