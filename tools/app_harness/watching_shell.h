// Stands between the views and the program's shell for its scope: passes everything on, and
// notes what a view shows each time its update progress moves the title's percentage (the
// views set their bar and status line first). Header-only, for the view tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/shell_services.h"
#include "tools/app_harness/app_harness.h"

namespace flashwright::test {

class WatchingShell : public ShellServices {
 public:
  // `command` names the view (kCmdRfidReader, kCmdUsbDevice); `bar_id` and `status_id` are its
  // progress controls, read at each percentage unless they are 0 (the view may be gone).
  WatchingShell(AppHarness& harness, int command, int bar_id, int status_id)
      : harness_(harness), shell_(*Shell()), command_(command), bar_id_(bar_id),
        status_id_(status_id) {
    SetShell(this);
  }
  ~WatchingShell() override { SetShell(&shell_); }
  WatchingShell(const WatchingShell&) = delete;
  WatchingShell& operator=(const WatchingShell&) = delete;

  std::vector<int> positions;
  std::vector<std::string> statuses;
  std::vector<std::string> titles;
  // Every percentage given to the title for the view, -1 when it goes.
  std::vector<int> title_progress;

  bool IsBusy() const override { return shell_.IsBusy(); }
  void SetBusy(bool busy) override { shell_.SetBusy(busy); }
  const RunOptions& Options() const override { return shell_.Options(); }
  bool GetPortOption(std::int32_t* port) const override { return shell_.GetPortOption(port); }
  bool GetReaderFirmwareOption(std::string* file) const override {
    return shell_.GetReaderFirmwareOption(file);
  }
  bool GetTagTypeOption(std::uint8_t* tag_type) const override {
    return shell_.GetTagTypeOption(tag_type);
  }
  bool GetUsbFirmwareOption(std::string* file) const override {
    return shell_.GetUsbFirmwareOption(file);
  }
  const std::vector<std::string>& UsbMarkers() const override { return shell_.UsbMarkers(); }
  int CheckReaderVersion(std::uint32_t version) const override {
    return shell_.CheckReaderVersion(version);
  }
  void LoadMenuSet(int menu_id) override { shell_.LoadMenuSet(menu_id); }
  int IsAdvanced(int command) override { return shell_.IsAdvanced(command); }
  void SetAdvanced(int value, int command) override { shell_.SetAdvanced(value, command); }
  void CheckMenuItem(int command_id, bool checked) override {
    shell_.CheckMenuItem(command_id, checked);
  }
  void SetTitleCommand(int command) override { shell_.SetTitleCommand(command); }
  void SetTitleProgress(int command, std::int16_t percentage) override {
    shell_.SetTitleProgress(command, percentage);
    if (command != command_) return;
    title_progress.push_back(percentage);
    if (percentage < 0 || bar_id_ == 0) return;
    positions.push_back(harness_.ProgressPos(bar_id_));
    statuses.push_back(harness_.ControlText(status_id_));
    titles.push_back(harness_.Title());
  }

 private:
  AppHarness& harness_;
  ShellServices& shell_;
  int command_;
  int bar_id_;
  int status_id_;
};

}  // namespace flashwright::test
