// The reader update view: port and firmware selectors, what the reader on the chosen port
// reports, the prompt that says whether an update may start, the update run with its progress
// and outcome, reset configuration, recover mode, the reader tools and the firmware copy.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "reader_update/outcome_text.h"
#include "reader_update/view_messages.h"
#include "windowing/form_view.h"

namespace flashwright {

class ShellServices;
struct ProgressNote;
struct UpdateJob;

// Show progress: hide the bar and status line, or leave the bar where it is.
inline constexpr int kProgressHide = -1;
inline constexpr int kProgressKeep = 0x7FFF;

class CKindlerView : public ui::FormView {
 public:
  CKindlerView();
  ~CKindlerView() override;

  ui::ViewKind Kind() const override { return ui::ViewKind::kReader; }
  void OnInitialUpdate() override;
  bool OnCommand(int command_id) override;
  bool OnUpdateCommand(ui::CommandState& state) override;
  bool HasCommand(int command_id) const override;
  void OnNotify(int control_id, ui::Notification notification) override;
  void OnPosted(MessageId message, std::unique_ptr<PostedRecord> record) override;

  void ShowMessage(const std::string& text, ui::PaneKind kind, bool redraw_now);
  // `position` as the 16-bit value the handlers pass: bit 15 set hides, 0x7FFF keeps the bar.
  void ShowProgress(int position, const std::string* text, bool redraw_now);
  void ReadReaderInformation(int port);
  void RefreshPrompt();
  std::string ComposeMessage(int id, int port, std::uint32_t version,
                             const std::string& base_name) const;
  void ShowBasicView();
  void ShowAdvancedView();
  void ApplyLayout(bool advanced);

  // The run control.
  void OnBeginUpdate();
  void OnResetConfiguration();
  void OnVerifyProgress(std::unique_ptr<ProgressNote> note);
  void OnProgramProgress(std::unique_ptr<ProgressNote> note);
  void OnUpdateComplete(std::unique_ptr<UpdateJob> job);

  void OnCopyFirmware();
  void OnToggleRecoverMode();
  void OnReaderTool(int command_id);

  // The selected port number (0 auto-detect), -1 when none is selected.
  int SelectedPort() const;
  bool SelectedFirmware(std::string* base_name, bool* is_package) const;

  std::uint32_t CachedVersion() const { return version_; }
  std::uint16_t CachedBootloader() const { return bootloader_; }
  std::uint8_t CachedFlags() const { return flags_; }
  std::uint8_t ResetSelection() const { return reset_selection_; }
  bool IsAdvancedView() const { return advanced_; }
  bool RunActive() const { return run_active_; }
  // Where the worker posts this view's notices.
  TargetHandle PostTargetHandle() const;

 private:
  // A file of the firmware selector; an item's data is its place in firmware_files_. The
  // worker gets the name's own bytes, whatever the list makes of them for showing.
  struct FirmwareItem {
    std::string base_name;
    bool is_package = false;
  };

  ShellServices& App() const;
  std::string ViewSuffix() const;
  MessageFields Fields() const;
  void FillPortSelector(int wanted_port);
  void FillFirmwareSelector(const std::string& wanted_base_name);
  void OnPortChanged();
  void OnFirmwareChanged();
  void OnTechnologyClicked(int control_id, std::uint8_t bit);
  void EnableResetControls(bool ready);
  void StartRun(std::unique_ptr<UpdateJob> job);
  void EndRun();
  void ShowResetConfigurationBox(std::int32_t result, std::uint8_t selection);

  std::vector<FirmwareItem> firmware_files_;
  std::uint32_t version_ = 0;
  std::uint16_t bootloader_ = 0xFFFF;
  std::uint8_t flags_ = 0;
  std::uint8_t reset_selection_ = 3;
  bool advanced_ = false;
  // This view started the run that is going on (its completion has not arrived yet).
  bool run_active_ = false;
};

}  // namespace flashwright
