// The USB update view: pick a device and a firmware image, see what the device says about
// itself, learn in the coloured message area why an update cannot start, confirm an update
// that the compatibility check refuses (when non-matching devices are allowed), and follow the
// update engine's progress to its outcome. The device list follows devices that come and go.
//
// While an update runs the device notification is not registered, and a device change that
// reaches the view all the same does not touch the USB layer: the worker owns the current
// device until its completion arrives. The change is remembered, and the device list is read
// again once the update has ended; so it is after a failed update, whose device may have gone
// unnoticed. The outcome stays in the message area either way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/posted_messages.h"
#include "platform/usb_hotplug.h"
#include "usb_update/usb_compatibility.h"
#include "usb_update/usb_update_prompt.h"
#include "windowing/form_view.h"

namespace flashwright {

struct UsbProgress;
struct UsbUpdateResult;

class CEZUSBFWUpdateView : public ui::FormView {
 public:
  CEZUSBFWUpdateView();
  ~CEZUSBFWUpdateView() override;

  ui::ViewKind Kind() const override { return ui::ViewKind::kUsb; }
  void OnInitialUpdate() override;
  bool OnCommand(int command_id) override;
  bool OnUpdateCommand(ui::CommandState& state) override;
  bool HasCommand(int command_id) const override;
  void OnDeviceChange(unsigned event_type, std::uintptr_t event_data) override;
  void OnNotify(int control_id, ui::Notification notification) override;
  void OnPosted(MessageId message, std::unique_ptr<PostedRecord> record) override;

  void FillDeviceList(std::int32_t index_to_keep);
  // The item data of the selected device, -1 for "(none)" or no selection.
  std::int32_t SelectedDevice() const;
  void RefreshDeviceInfo(std::int32_t index);
  void FillFirmwareList(const std::string& name_to_select);
  void RefreshStatus();
  void EnterAdvancedMode();
  void EnterBasicMode();
  void ToggleAllowNonMatching();
  void BeginUpdate();
  // Lists the devices again now, keeping the selected one when it is still there (the Refresh
  // button and F5).
  void RefreshDeviceList();

  void ShowMessage(const std::string& text, ui::PaneKind kind, bool redraw_now);

  void OnVerifyProgress(std::unique_ptr<UsbProgress> progress);
  void OnProgramProgress(std::unique_ptr<UsbProgress> progress);
  void OnUpdateComplete(std::unique_ptr<UsbUpdateResult> result);
  void FinishUpdate(const UsbUpdateResult& result);

  const UsbDeviceInfo& DeviceInfo() const { return device_; }
  bool IsAdvancedMode() const { return advanced_; }
  bool UpdateRunning() const { return run_active_; }
  // The device notification is registered (the system reports devices coming and going).
  bool DeviceNoticeRegistered() const { return notification_ != nullptr; }
  // Where the worker posts this view's messages.
  TargetHandle PostTargetHandle() const;

 private:
  void RegisterDeviceNotice();
  void UnregisterDeviceNotice();
  void ListDevicesAgain();
  void ShowProgress(int position, const std::string& text);
  void HideProgress();
  void EnableControls(bool enabled);
  std::string SelectedImage() const;
  UsbPromptState PromptState() const;

  UsbDeviceInfo device_;
  UsbMessage shown_;  // what the message area shows
  bool advanced_ = false;
  std::unique_ptr<platform::UsbHotplugRegistration> notification_;
  // The system gives no device notices: the list is refreshed by hand.
  bool notices_unavailable_ = false;

  // This view started the update that is going on (its completion has not arrived yet).
  bool run_active_ = false;
  // A device change arrived while the update ran; the list is read again when it has ended.
  bool change_during_run_ = false;
  // Begin Update is asking the user; device notices meanwhile are held.
  bool confirming_ = false;
  bool change_during_confirmation_ = false;
  std::thread worker_;
};

// The note that device changes are not reported is given once per process; tests start anew.
void ResetDeviceNoticeReportForTesting();

}  // namespace flashwright
