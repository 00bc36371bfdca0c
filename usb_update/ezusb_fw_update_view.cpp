#include "usb_update/ezusb_fw_update_view.h"

#include <QComboBox>
#include <QEvent>
#include <QKeySequence>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTextEdit>

#include "shell/command_ids.h"
#include "shell/shell_services.h"
#include "shell/string_table.h"
#include "platform/clock.h"
#include "platform/installed_program_folder.h"
#include "usb_update/usb_device_info.h"
#include "usb_update/usb_image.h"
#include "usb_update/usb_update_engine.h"
#include "usb_update/usb_update_form.h"
#include "usb_update/usb_update_texts.h"
#include "usb_update/usb_view_texts.h"
#include "windowing/device_change.h"
#include "windowing/key_state.h"
#include "windowing/message_box.h"
#include "windowing/message_pane.h"
#include "windowing/qt_post_target.h"

namespace flashwright {

namespace {

// The device nodes settle for this long after a change before they are listed again.
constexpr std::uint32_t kDeviceSettleMs = 100;

bool device_notice_report_given = false;

}  // namespace

void ResetDeviceNoticeReportForTesting() { device_notice_report_given = false; }

CEZUSBFWUpdateView::CEZUSBFWUpdateView(QWidget* parent) : ui::FormView(parent) {
  BuildUsbUpdateForm(this);
  device_list_ = findChild<QComboBox*>(QString::number(kIdcUsbDeviceList));
  firmware_list_ = findChild<QComboBox*>(QString::number(kIdcUsbFirmwareList));
  device_text_ = findChild<QLabel*>(QString::number(kIdcUsbDeviceInfo));
  begin_button_ = findChild<QPushButton*>(QString::number(kIdcUsbBeginUpdate));
  refresh_button_ = findChild<QPushButton*>(QString::number(kIdcUsbRefresh));
  progress_bar_ = findChild<QProgressBar*>(QString::number(kIdcUsbProgressBar));
  progress_status_ = findChild<QLabel*>(QString::number(kIdcUsbProgressStatus));
  message_pane_ = findChild<QTextEdit*>(QString::number(kIdcUsbMessagePane));

  // Only the user's choices count as selection changes, not the filling of the lists.
  connect(device_list_, &QComboBox::activated, this, [this](int) {
    RefreshDeviceInfo(SelectedDevice());
    RefreshStatus();
  });
  connect(firmware_list_, &QComboBox::activated, this, [this](int) { RefreshStatus(); });
  connect(begin_button_, &QPushButton::clicked, this, [this] { BeginUpdate(); });
  connect(refresh_button_, &QPushButton::clicked, this, [this] { RefreshDeviceList(); });
  auto* refresh_key = new QShortcut(QKeySequence(Qt::Key_F5), this);
  refresh_key->setContext(Qt::WidgetWithChildrenShortcut);
  connect(refresh_key, &QShortcut::activated, this, [this] { RefreshDeviceList(); });

  post_target_ = std::make_unique<ui::QtPostTarget>(
      this, std::initializer_list<const char*>{kUsbVerifyProgressMessage,
                                               kUsbProgramProgressMessage,
                                               kUsbUpdateCompleteMessage});
}

CEZUSBFWUpdateView::~CEZUSBFWUpdateView() {
  UnregisterDeviceNotice();
  // From here on the worker's messages find no target and their records are freed.
  post_target_.reset();
  // The worker owns the current device until it ends; it ends on its own (every request has
  // a time limit), and nothing of it may outlive the view that started it.
  if (worker_.joinable()) worker_.join();
  if (run_active_ && Shell() != nullptr) {
    // Nobody else will end this update: the application must not stay busy.
    Shell()->SetBusy(false);
  }
}

void CEZUSBFWUpdateView::OnInitialUpdate() {
  ShellServices* shell = Shell();
  if (shell == nullptr) return;
  shell->SetTitleCommand(kCmdUsbDevice);

  setUpdatesEnabled(false);
  RegisterDeviceNotice();
  SetUsbFirmwareFolderBeside(platform::InstalledProgramFolder());

  FillDeviceList(0);
  RefreshDeviceInfo(SelectedDevice());
  std::string option;
  FillFirmwareList(shell->GetUsbFirmwareOption(&option) ? UsbPreselectedImageName(option)
                                                        : std::string());
  HideProgress();
  ShowMessage(std::string(), UsbMessageKind::kNeutral, false);

  if (shell->IsAdvanced(kCmdUsbDevice) == 1) EnterAdvancedMode();
  else EnterBasicMode();

  if (notices_unavailable_ && !device_notice_report_given) {
    // Said once: without notices the list stays as it is until the user refreshes it.
    device_notice_report_given = true;
    std::string text = shown_.text;
    if (!text.empty()) text += kLineBreak;
    ShowMessage(text + usb_texts::kNoDeviceNotices, shown_.kind, false);
  }
  setUpdatesEnabled(true);
  update();
}

void CEZUSBFWUpdateView::RegisterDeviceNotice() {
  if (notification_ != nullptr) return;
  notification_ = ui::RegisterDeviceNotice(window());
  notices_unavailable_ = notification_ == nullptr;
  refresh_button_->setVisible(notices_unavailable_);
}

void CEZUSBFWUpdateView::UnregisterDeviceNotice() { notification_.reset(); }

void CEZUSBFWUpdateView::FillDeviceList(std::int32_t index_to_keep) {
  device_list_->clear();
  int selected = -1;
  for (const std::uint16_t index : ListUsbDevices()) {
    if (index == index_to_keep) selected = device_list_->count();
    device_list_->addItem(QString::fromStdString(UsbDeviceDisplayName(index)),
                          static_cast<int>(index));
  }
  if (device_list_->count() == 0) device_list_->addItem(usb_texts::kNone, -1);
  device_list_->setCurrentIndex(selected >= 0 ? selected : 0);
}

std::int32_t CEZUSBFWUpdateView::SelectedDevice() const {
  const int item = device_list_->currentIndex();
  return item < 0 ? -1 : device_list_->itemData(item).toInt();
}

void CEZUSBFWUpdateView::RefreshDeviceInfo(std::int32_t index) {
  const UsbDeviceReading reading = ReadUsbDevice(index, ui::IsControlKeyDown());
  device_ = reading.info;
  device_text_->setText(QString::fromStdString(ui::ToWidgetLineBreaks(reading.text)));
}

void CEZUSBFWUpdateView::FillFirmwareList(const std::string& name_to_select) {
  firmware_list_->clear();
  const std::vector<std::string> images = ListUsbImages(UsbFirmwareFolder());
  for (const std::string& image : images) firmware_list_->addItem(QString::fromStdString(image));
  int selected = FindUsbImageIndex(images, name_to_select);
  // A given name that is not in the folder leaves the list without selection.
  if (selected < 0 && name_to_select.empty() && !images.empty()) selected = 0;
  firmware_list_->setCurrentIndex(selected);
}

std::string CEZUSBFWUpdateView::SelectedImage() const {
  const int item = firmware_list_->currentIndex();
  return item < 0 ? std::string() : firmware_list_->itemText(item).toStdString();
}

UsbPromptState CEZUSBFWUpdateView::PromptState() const {
  UsbPromptState state;
  state.device = SelectedDevice();
  if (state.device >= 0) {
    state.device_name = UsbDeviceDisplayName(static_cast<std::uint16_t>(state.device));
  }
  state.device_known = !device_.product_string.empty();
  state.image_selected = firmware_list_->currentIndex() >= 0;
  state.image_count = static_cast<std::size_t>(firmware_list_->count());
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
  begin_button_->setEnabled(prompt.ready);
}

void CEZUSBFWUpdateView::ShowMessage(const std::string& text, UsbMessageKind kind,
                                     bool redraw_now) {
  shown_.text = text;
  shown_.kind = kind;
  ui::ShowPaneMessage(message_pane_, text, static_cast<ui::PaneKind>(kind), redraw_now);
}

void CEZUSBFWUpdateView::ShowProgress(int position, const std::string& text) {
  progress_bar_->setValue(position);
  progress_bar_->show();
  progress_status_->setText(QString::fromStdString(text));
  progress_status_->show();
}

void CEZUSBFWUpdateView::HideProgress() {
  progress_bar_->setValue(0);
  progress_bar_->hide();
  progress_status_->clear();
  progress_status_->hide();
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
