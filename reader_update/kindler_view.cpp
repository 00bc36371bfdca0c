#include "reader_update/kindler_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>

#include "shell/command_ids.h"
#include "shell/shell_services.h"
#include "shell/string_table.h"
#include "windowing/message_box.h"
#include "windowing/message_pane.h"
#include "windowing/qt_post_target.h"
#include "platform/port_map.h"
#include "platform/text_case.h"
#include "reader_link/commands.h"
#include "reader_link/reader_info.h"
#include "reader_link/transport.h"
#include "reader_tools/tool_opener.h"
#include "reader_update/firmware_folder.h"
#include "reader_update/reader_information.h"
#include "reader_update/reader_prompt.h"
#include "reader_update/tool_reader.h"
#include "reader_update/reader_update_form.h"
#include "reader_update/reader_view_state.h"
#include "reader_update/view_texts.h"

namespace flashwright {

namespace {

constexpr int kHighestListedPort = 32;
// Where a firmware item keeps its base name's bytes.
constexpr int kBaseNameRole = Qt::UserRole + 1;

}  // namespace

CKindlerView::CKindlerView(QWidget* parent) : ui::FormView(parent) {
  BuildReaderUpdateForm(this);
  port_selector_ = findChild<QComboBox*>(QString::number(kIdcPortSelector));
  firmware_selector_ = findChild<QComboBox*>(QString::number(kIdcFirmwareSelector));
  version_text_ = findChild<QLabel*>(QString::number(kIdcVersionText));
  power_text_ = findChild<QLabel*>(QString::number(kIdcPowerText));
  tagit_box_ = findChild<QCheckBox*>(QString::number(kIdcTagIt));
  iso_box_ = findChild<QCheckBox*>(QString::number(kIdcIso));
  begin_button_ = findChild<QPushButton*>(QString::number(kIdcBeginUpdate));
  reset_button_ = findChild<QPushButton*>(QString::number(kIdcResetConfiguration));
  progress_status_ = findChild<QLabel*>(QString::number(kIdcProgressStatus));
  progress_bar_ = findChild<QProgressBar*>(QString::number(kIdcProgressBar));
  message_pane_ = findChild<QTextEdit*>(QString::number(kIdcMessagePane));

  // Only the user's choices count as selection changes, not the filling of the lists.
  connect(port_selector_, &QComboBox::activated, this, [this](int) { OnPortChanged(); });
  connect(firmware_selector_, &QComboBox::activated, this, [this](int) { OnFirmwareChanged(); });
  connect(begin_button_, &QPushButton::clicked, this, [this] { OnBeginUpdate(); });
  connect(reset_button_, &QPushButton::clicked, this, [this] { OnResetConfiguration(); });
  connect(tagit_box_, &QCheckBox::clicked, this,
          [this] { OnTechnologyClicked(tagit_box_, kTechTagIt); });
  connect(iso_box_, &QCheckBox::clicked, this, [this] { OnTechnologyClicked(iso_box_, kTechIso); });

  post_target_ = std::make_unique<ui::QtPostTarget>(
      this, std::initializer_list<const char*>{kVerifyProgressMessage, kProgramProgressMessage,
                                               kUpdateCompleteMessage});
}

CKindlerView::~CKindlerView() {
  // From here on a worker's notices find no target and their records are freed.
  post_target_.reset();
  if (run_active_ && Shell()) {
    // The view that started the run is gone (the program is closing): nobody else will end
    // the run, so the application must not stay busy.
    Shell()->SetBusy(false);
  }
}

ShellServices& CKindlerView::App() const { return *Shell(); }

std::string CKindlerView::ViewSuffix() const {
  return advanced_ ? std::string() : std::string(LoadString(IDS_ADVANCED_VIEW_SUFFIX));
}

void CKindlerView::OnInitialUpdate() {
  ShellServices& shell = App();
  setUpdatesEnabled(false);
  shell.SetTitleCommand(kCmdRfidReader);

  SetFirmwareFolder(FirmwareFolderBesideProgram());

  if (RememberedResetSelection() == 0) {
    std::uint8_t tag_type = 0;
    RememberResetSelection(App().GetTagTypeOption(&tag_type) ? tag_type : kTagTypeAll);
  }
  reset_selection_ = RememberedResetSelection();
  tagit_box_->setChecked((reset_selection_ & kTechTagIt) != 0);
  iso_box_->setChecked((reset_selection_ & kTechIso) != 0);

  std::int32_t port = 0;
  FillPortSelector(App().GetPortOption(&port) ? port : 0);
  ReadReaderInformation(SelectedPort());

  std::string firmware;
  if (App().GetReaderFirmwareOption(&firmware) && EndsWithIgnoringCase(firmware, ".hex"))
    firmware.resize(firmware.size() - 4);
  FillFirmwareSelector(firmware);

  ShowProgress(kProgressHide, nullptr, false);
  ShowMessage(std::string(), MessageKind::Information, false);

  if (shell.IsAdvanced(kCmdRfidReader) == 1) ShowAdvancedView();
  else ShowBasicView();

  setUpdatesEnabled(true);
  update();
}

void CKindlerView::FillPortSelector(int wanted_port) {
  port_selector_->clear();
  port_selector_->addItem(texts::kAutoDetect, 0);
  for (int n = 1; n <= kHighestListedPort; ++n) {
    if (platform::PortExists(static_cast<unsigned>(n)))
      port_selector_->addItem(QString::fromStdString(FormatText(texts::kComPortFormat, n)), n);
  }
  port_selector_->setCurrentIndex(port_selector_->findData(wanted_port));
}

int CKindlerView::SelectedPort() const {
  const int index = port_selector_->currentIndex();
  return index < 0 ? -1 : port_selector_->itemData(index).toInt();
}

void CKindlerView::FillFirmwareSelector(const std::string& wanted_base_name) {
  firmware_selector_->clear();
  // The list shows each name as text, but the name the worker gets is the file's own bytes:
  // a name that is not valid UTF-8 would not survive the way through a QString and back.
  for (const FirmwareFileEntry& file : ListFirmwareFiles(FirmwareFolder())) {
    firmware_selector_->addItem(QString::fromLocal8Bit(file.base_name), file.is_package);
    firmware_selector_->setItemData(firmware_selector_->count() - 1,
                                    QByteArray::fromStdString(file.base_name), kBaseNameRole);
  }
  int selected = -1;
  for (int i = 0; i < firmware_selector_->count() && !wanted_base_name.empty(); ++i) {
    if (SameIgnoringCase(firmware_selector_->itemData(i, kBaseNameRole).toByteArray().toStdString(),
                         wanted_base_name)) {
      selected = i;
      break;
    }
  }
  if (selected < 0 && wanted_base_name.empty() && firmware_selector_->count() > 0) selected = 0;
  firmware_selector_->setCurrentIndex(selected);
}

bool CKindlerView::SelectedFirmware(std::string* base_name, bool* is_package) const {
  const int index = firmware_selector_->currentIndex();
  if (index < 0) return false;
  *base_name = firmware_selector_->itemData(index, kBaseNameRole).toByteArray().toStdString();
  *is_package = firmware_selector_->itemData(index).toBool();
  return true;
}

void CKindlerView::ReadReaderInformation(int port) {
  version_ = 0;
  bootloader_ = kBootloaderUnknown;
  flags_ = 0;
  std::string version_text;
  std::string power_text;

  if (port > 0 && !RecoverMode()) {
    const ReaderInformation info = flashwright::ReadReaderInformation(port, true);
    version_ = info.version;
    bootloader_ = info.bootloader;
    flags_ = info.flags;
    version_text = info.version_text;
    power_text = info.power_text;
  } else {
    // Without a reader the version is 0 and the text is "NA" without a query.
    power_text = ReadPowerText(0, nullptr);
  }
  version_text_->setText(QString::fromStdString(ui::ToWidgetLineBreaks(version_text)));
  power_text_->setText(QString::fromStdString(power_text));
}

std::string CKindlerView::ComposeMessage(int id, int port, std::uint32_t version,
                                         const std::string& base_name) const {
  return flashwright::ComposeMessage(id, port, version, base_name, Fields());
}

MessageFields CKindlerView::Fields() const { return MessageFields{FirmwareFolder(), ViewSuffix()}; }

void CKindlerView::RefreshPrompt() {
  ReaderPromptInput input;
  input.port = SelectedPort();
  std::string base_name;
  bool is_package = false;
  input.have_firmware = SelectedFirmware(&base_name, &is_package);
  input.firmware_listed = firmware_selector_->count() > 0;
  input.recover_mode = RecoverMode();
  input.version = version_;
  std::int32_t wanted_port = 0;
  if (App().GetPortOption(&wanted_port)) input.wanted_port = wanted_port;
  std::string wanted_firmware;
  if (App().GetReaderFirmwareOption(&wanted_firmware)) input.wanted_firmware = wanted_firmware;

  const ReaderPrompt prompt = ComposeReaderPrompt(
      input, [this](std::uint32_t version) { return App().CheckReaderVersion(version); },
      Fields());
  ShowMessage(prompt.text, prompt.kind, false);
  begin_button_->setEnabled(prompt.ready);
  EnableResetControls(prompt.ready);
}

void CKindlerView::EnableResetControls(bool ready) {
  const bool allowed =
      ready && !RecoverMode() && SelectedPort() > 0 && version_ > kSettingsVersionFloor;
  tagit_box_->setEnabled(allowed);
  iso_box_->setEnabled(allowed);
  reset_button_->setEnabled(allowed && reset_selection_ != 0);
}

static_assert(static_cast<int>(MessageKind::Information) == static_cast<int>(ui::PaneKind::kNeutral) &&
              static_cast<int>(MessageKind::Error) == static_cast<int>(ui::PaneKind::kError) &&
              static_cast<int>(MessageKind::Success) == static_cast<int>(ui::PaneKind::kSuccess));

void CKindlerView::ShowMessage(const std::string& text, MessageKind kind, bool redraw_now) {
  ui::ShowPaneMessage(message_pane_, text, static_cast<ui::PaneKind>(kind), redraw_now);
}

void CKindlerView::ShowProgress(int position, const std::string* text, bool redraw_now) {
  if ((position & 0x8000) != 0) {
    progress_status_->clear();
    progress_status_->hide();
    progress_bar_->setValue(0);
    progress_bar_->hide();
  } else {
    if (text) {
      progress_status_->setText(QString::fromStdString(*text));
      progress_status_->show();
    }
    if (position != kProgressKeep) progress_bar_->setValue(position);
    progress_bar_->show();
  }
  // "At once" here is the next turn of the event loop: the progress controls ask for a paint,
  // which the loop runs before the records posted after this one. The worker posts its records
  // in bursts (the image check sends dozens within a millisecond); painting the whole window
  // for each of them held the user-interface thread for the length of the burst. Asked this
  // way, a burst ends in one paint of its last record, which is what the user would have seen.
  if (redraw_now) {
    progress_status_->update();
    progress_bar_->update();
  }
}

void CKindlerView::OnTechnologyClicked(QCheckBox* box, std::uint8_t bit) {
  if (box->isChecked()) reset_selection_ |= bit;
  else reset_selection_ &= static_cast<std::uint8_t>(~bit);
  reset_button_->setEnabled(reset_selection_ != 0);
  RememberResetSelection(reset_selection_);
}

void CKindlerView::ShowAdvancedView() {
  ShellServices& shell = App();
  shell.LoadMenuSet(kMenuReaderAdvanced);
  shell.SetAdvanced(1, kCmdRfidReader);
  advanced_ = true;
  shell.CheckMenuItem(kCmdAdvanced, true);
  shell.CheckMenuItem(kCmdBasic, false);
  shell.CheckMenuItem(kCmdRecover, RecoverMode());
  ApplyLayout(true);
  RefreshPrompt();
}

void CKindlerView::ShowBasicView() {
  ShellServices& shell = App();
  shell.LoadMenuSet(kMenuBasic);
  shell.SetAdvanced(0, kCmdRfidReader);
  advanced_ = false;
  shell.CheckMenuItem(kCmdBasic, true);
  shell.CheckMenuItem(kCmdAdvanced, false);
  ApplyLayout(false);
  RefreshPrompt();
}

void CKindlerView::ApplyLayout(bool advanced) {
  const bool information = !RecoverMode();
  for (int id : {kIdcReaderInfoGroup, kIdcVersionLabel, kIdcVersionText, kIdcPowerLabel,
                 kIdcPowerText}) {
    if (QWidget* control = findChild<QWidget*>(QString::number(id))) control->setEnabled(information);
  }
  for (int id : {kIdcTagIt, kIdcIso, kIdcResetConfiguration, kIdcReaderInfoGroup,
                 kIdcVersionLabel, kIdcVersionText, kIdcPowerLabel, kIdcPowerText}) {
    if (QWidget* control = findChild<QWidget*>(QString::number(id))) control->setVisible(advanced);
  }
  port_selector_->setEnabled(advanced);
  firmware_selector_->setEnabled(advanced);
}

void CKindlerView::OnPortChanged() {
  ReadReaderInformation(SelectedPort());
  RefreshPrompt();
}

void CKindlerView::OnFirmwareChanged() { RefreshPrompt(); }

void CKindlerView::OnToggleRecoverMode() {
  SetRecoverMode(!RecoverMode());
  App().CheckMenuItem(kCmdRecover, RecoverMode());
  ApplyLayout(true);
  RefreshPrompt();
}

void CKindlerView::OnReaderTool(int command_id) {
  if (RecoverMode()) return;
  const ToolReaderChoice chosen =
      ChooseToolReader(SelectedPort(), true, version_, App().Options().limits);
  if (chosen.found) {
    RunReaderToolDialog(this, command_id, chosen.reader.port, chosen.reader.version);
  } else {
    ui::MessageBox(this, chosen.failure, LoadString(IDS_APP_TITLE), ui::kIconError);
    // After a failed discovery no dialog ran: the reader information stands.
    if (chosen.discovery_result != 0) return;
  }
  if (command_id == kCmdPowerLevel) ReadReaderInformation(SelectedPort());
}

bool CKindlerView::OnCommand(int command_id) {
  switch (command_id) {
    case kCmdAdvanced: ShowAdvancedView(); return true;
    case kCmdBasic: ShowBasicView(); return true;
    case kCmdCopyFirmware: OnCopyFirmware(); return true;
    case kCmdRecover: OnToggleRecoverMode(); return true;
    case kCmdDiagnostics:
    case kCmdPortalAfi:
    case kCmdSecurityMethod:
    case kCmdTransmitMode:
    case kCmdPowerLevel:
      OnReaderTool(command_id);
      return true;
    default: return false;
  }
}

bool CKindlerView::OnUpdateCommand(ui::CommandState& state) {
  switch (state.id) {
    case kCmdBasic:
    case kCmdAdvanced:
    case kCmdRecover:
    case kCmdCopyFirmware:
      state.Enable(!App().IsBusy());
      return true;
    case kCmdDiagnostics:
    case kCmdPortalAfi:
    case kCmdSecurityMethod:
    case kCmdTransmitMode:
    case kCmdPowerLevel:
      state.Enable(!App().IsBusy() && !RecoverMode());
      return true;
    default: return false;
  }
}

bool CKindlerView::HasCommand(int command_id) const {
  switch (command_id) {
    case kCmdBasic:
    case kCmdAdvanced:
    case kCmdRecover:
    case kCmdCopyFirmware:
    case kCmdDiagnostics:
    case kCmdPortalAfi:
    case kCmdSecurityMethod:
    case kCmdTransmitMode:
    case kCmdPowerLevel:
      return true;
    default: return false;
  }
}

}  // namespace flashwright
