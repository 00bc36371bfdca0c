#include "usb_update/ezusb_fw_update_view.h"

#include "platform/clock.h"
#include "platform/installed_program_folder.h"
#include "shell/command_ids.h"
#include "shell/control_ids.h"
#include "shell/shell_services.h"
#include "shell/string_table.h"
#include "usb_update/usb_device_info.h"
#include "usb_update/usb_image.h"
#include "usb_update/usb_update_engine.h"
#include "usb_update/usb_update_texts.h"
#include "usb_update/usb_view_texts.h"
#include "windowing/device_change.h"
#include "windowing/key_state.h"
#include "windowing/message_box.h"
#include "windowing/message_pane.h"

namespace flashwright {

namespace {

// The device nodes settle for this long after a change before they are listed again.
constexpr std::uint32_t kDeviceSettleMs = 100;

bool device_notice_report_given = false;

}  // namespace

void ResetDeviceNoticeReportForTesting() { device_notice_report_given = false; }

CEZUSBFWUpdateView::CEZUSBFWUpdateView() : ui::FormView(kIddUsbUpdateForm) {}

CEZUSBFWUpdateView::~CEZUSBFWUpdateView() {
  UnregisterDeviceNotice();
  // From here on the worker's messages find no target and their records are freed.
  DestroyForm();
  // The worker owns the current device until it ends; it ends on its own (every request has
  // a time limit), and nothing of it may outlive the view that started it.
  if (worker_.joinable()) worker_.join();
  if (run_active_ && Shell() != nullptr) {
    // Nobody else will end this update: the application must not stay busy.
    Shell()->SetBusy(false);
  }
}

void CEZUSBFWUpdateView::OnNotify(int control_id, ui::Notification notification) {
  // Only the user's choices count as selection changes, not the filling of the lists. F5 is
  // an accelerator of the form that clicks Refresh.
  if (notification == ui::Notification::kSelChange) {
    if (control_id == kIdcUsbDeviceList) {
      RefreshDeviceInfo(SelectedDevice());
      RefreshStatus();
    } else if (control_id == kIdcUsbFirmwareList) {
      RefreshStatus();
    }
    return;
  }
  if (notification != ui::Notification::kClicked) return;
  if (control_id == kIdcUsbBeginUpdate) BeginUpdate();
  else if (control_id == kIdcUsbRefresh) RefreshDeviceList();
}

void CEZUSBFWUpdateView::OnInitialUpdate() {
  ShellServices* shell = Shell();
  if (shell == nullptr) return;
  shell->SetTitleCommand(kCmdUsbDevice);

  ui::Form& controls = form();
  controls.AcceptPosted(
      {kUsbVerifyProgressMessage, kUsbProgramProgressMessage, kUsbUpdateCompleteMessage});
  controls.SetRedraw(false);
  RegisterDeviceNotice();
  SetUsbFirmwareFolderBeside(platform::InstalledProgramFolder());

  FillDeviceList(0);
  RefreshDeviceInfo(SelectedDevice());
  std::string option;
  FillFirmwareList(shell->GetUsbFirmwareOption(&option) ? UsbPreselectedImageName(option)
                                                        : std::string());
  HideProgress();
  ShowMessage(std::string(), ui::PaneKind::kNeutral, false);

  if (shell->IsAdvanced(kCmdUsbDevice) == 1) EnterAdvancedMode();
  else EnterBasicMode();

  if (notices_unavailable_ && !device_notice_report_given) {
    // Said once: without notices the list stays as it is until the user refreshes it.
    device_notice_report_given = true;
    std::string text = shown_.text;
    if (!text.empty()) text += kLineBreak;
    ShowMessage(text + usb_texts::kNoDeviceNotices, shown_.kind, false);
  }
  controls.SetRedraw(true);
}

void CEZUSBFWUpdateView::RegisterDeviceNotice() {
  if (notification_ != nullptr) return;
  notification_ = ui::RegisterDeviceNotice(FrameWindow());
  notices_unavailable_ = notification_ == nullptr;
  form().Show(kIdcUsbRefresh, notices_unavailable_);
}

void CEZUSBFWUpdateView::UnregisterDeviceNotice() { notification_.reset(); }

void CEZUSBFWUpdateView::FillDeviceList(std::int32_t index_to_keep) {
  ui::Form& controls = form();
  controls.ResetContent(kIdcUsbDeviceList);
  int selected = -1;
  for (const std::uint16_t index : ListUsbDevices()) {
    if (index == index_to_keep) selected = controls.ItemCount(kIdcUsbDeviceList);
    controls.AddItem(kIdcUsbDeviceList, UsbDeviceDisplayName(index), index);
  }
  if (controls.ItemCount(kIdcUsbDeviceList) == 0)
    controls.AddItem(kIdcUsbDeviceList, usb_texts::kNone, -1);
  controls.SetCurSel(kIdcUsbDeviceList, selected >= 0 ? selected : 0);
}

std::int32_t CEZUSBFWUpdateView::SelectedDevice() const {
  const int item = form().CurSel(kIdcUsbDeviceList);
  return item < 0 ? -1 : static_cast<std::int32_t>(form().ItemData(kIdcUsbDeviceList, item));
}

void CEZUSBFWUpdateView::RefreshDeviceInfo(std::int32_t index) {
  const UsbDeviceReading reading = ReadUsbDevice(index, ui::IsControlKeyDown());
  device_ = reading.info;
  form().SetText(kIdcUsbDeviceInfo, reading.text);
}

void CEZUSBFWUpdateView::FillFirmwareList(const std::string& name_to_select) {
  ui::Form& controls = form();
  controls.ResetContent(kIdcUsbFirmwareList);
  const std::vector<std::string> images = ListUsbImages(UsbFirmwareFolder());
  for (const std::string& image : images) controls.AddItem(kIdcUsbFirmwareList, image);
  int selected = FindUsbImageIndex(images, name_to_select);
  // A given name that is not in the folder leaves the list without selection.
  if (selected < 0 && name_to_select.empty() && !images.empty()) selected = 0;
  controls.SetCurSel(kIdcUsbFirmwareList, selected);
}

std::string CEZUSBFWUpdateView::SelectedImage() const {
  const int item = form().CurSel(kIdcUsbFirmwareList);
  return item < 0 ? std::string() : form().ItemText(kIdcUsbFirmwareList, item);
}

UsbPromptState CEZUSBFWUpdateView::PromptState() const {
  UsbPromptState state;
  state.device = SelectedDevice();
  if (state.device >= 0) {
    state.device_name = UsbDeviceDisplayName(static_cast<std::uint16_t>(state.device));
  }
  state.device_known = !device_.product_string.empty();
  state.image_selected = form().CurSel(kIdcUsbFirmwareList) >= 0;
  state.image_count = static_cast<std::size_t>(form().ItemCount(kIdcUsbFirmwareList));
  std::string option;
  if (Shell() != nullptr && Shell()->GetUsbFirmwareOption(&option)) {
    state.preselected_image = UsbPreselectedImageName(option);
  }
  state.advanced = advanced_;
  state.firmware_folder = UsbFirmwareFolder();
  return state;
}

void CEZUSBFWUpdateView::RefreshStatus() {
  const UsbPrompt prompt = ComposeUsbPrompt(PromptState());
  ShowMessage(prompt.message.text, prompt.message.kind, false);
  form().Enable(kIdcUsbBeginUpdate, prompt.ready);
}

void CEZUSBFWUpdateView::ShowMessage(const std::string& text, ui::PaneKind kind,
                                     bool redraw_now) {
  shown_.text = text;
  shown_.kind = kind;
  form().ShowPaneMessage(kIdcUsbMessagePane, text, kind, redraw_now);
}

void CEZUSBFWUpdateView::ShowProgress(int position, const std::string& text) {
  ui::Form& controls = form();
  controls.SetProgressPos(kIdcUsbProgressBar, position);
  controls.Show(kIdcUsbProgressBar, true);
  controls.SetText(kIdcUsbProgressStatus, text);
  controls.Show(kIdcUsbProgressStatus, true);
}

void CEZUSBFWUpdateView::HideProgress() {
  ui::Form& controls = form();
  controls.SetProgressPos(kIdcUsbProgressBar, 0);
  controls.Show(kIdcUsbProgressBar, false);
  controls.SetText(kIdcUsbProgressStatus, std::string());
  controls.Show(kIdcUsbProgressStatus, false);
}

void CEZUSBFWUpdateView::EnterAdvancedMode() {
  ShellServices* shell = Shell();
  shell->LoadMenuSet(kMenuUsbAdvanced);
  shell->SetAdvanced(1, kCmdUsbDevice);
  advanced_ = true;
  shell->CheckMenuItem(kCmdBasic, false);
  shell->CheckMenuItem(kCmdAdvanced, true);
  shell->CheckMenuItem(kCmdAllowNonMatching, AllowNonMatchingDevices());
  RefreshStatus();
}

void CEZUSBFWUpdateView::EnterBasicMode() {
  ShellServices* shell = Shell();
  shell->LoadMenuSet(kMenuBasic);
  shell->SetAdvanced(0, kCmdUsbDevice);
  advanced_ = false;
  shell->CheckMenuItem(kCmdBasic, true);
  shell->CheckMenuItem(kCmdAdvanced, false);
  RefreshStatus();
}

void CEZUSBFWUpdateView::ToggleAllowNonMatching() {
  Shell()->CheckMenuItem(kCmdAllowNonMatching, ToggleAllowNonMatchingDevices());
}

void CEZUSBFWUpdateView::OnDeviceChange(unsigned event_type, std::uintptr_t /*event_data*/) {
  if (event_type != ui::kDeviceNodesChanged) return;
  if (confirming_) {
    // A confirmation box is open: acted on once it has been answered.
    change_during_confirmation_ = true;
    return;
  }
  if (run_active_) {
    // The worker owns the current device: listing the devices now would open them beside it.
    change_during_run_ = true;
    return;
  }
  platform::SleepMs(kDeviceSettleMs);
  ListDevicesAgain();
  RefreshStatus();
}

void CEZUSBFWUpdateView::RefreshDeviceList() {
  if (run_active_) return;
  ListDevicesAgain();
  RefreshStatus();
}

void CEZUSBFWUpdateView::ListDevicesAgain() {
  FillDeviceList(SelectedDevice());
  RefreshDeviceInfo(SelectedDevice());
}

bool CEZUSBFWUpdateView::OnCommand(int command_id) {
  switch (command_id) {
    case kCmdAdvanced: EnterAdvancedMode(); return true;
    case kCmdBasic: EnterBasicMode(); return true;
    case kCmdAllowNonMatching: ToggleAllowNonMatching(); return true;
    default: return false;
  }
}

bool CEZUSBFWUpdateView::OnUpdateCommand(ui::CommandState& state) {
  if (!HasCommand(state.id)) return false;
  state.Enable(Shell() != nullptr && !Shell()->IsBusy());
  return true;
}

bool CEZUSBFWUpdateView::HasCommand(int command_id) const {
  return command_id == kCmdBasic || command_id == kCmdAdvanced ||
         command_id == kCmdAllowNonMatching;
}

}  // namespace flashwright
