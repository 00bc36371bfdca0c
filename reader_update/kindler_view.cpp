#include "reader_update/kindler_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>

#include "app/command_ids.h"
#include "app/kindler_app.h"
#include "app/main_frame.h"
#include "app/program_folder.h"
#include "app/string_table.h"
#include "windowing/message_box.h"
#include "windowing/qt_post_target.h"
#include "platform/port_map.h"
#include "reader_link/commands.h"
#include "reader_link/reader_info.h"
#include "reader_link/transport.h"
#include "reader_tools/tool_opener.h"
#include "reader_update/firmware_folder.h"
#include "reader_update/reader_discovery.h"
#include "reader_update/reader_update_form.h"
#include "reader_update/reader_view_state.h"
#include "reader_update/view_texts.h"

namespace flashwright {

namespace {

constexpr int kHighestListedPort = 32;

bool EndsWithIgnoringCase(const std::string& text, const std::string& ending) {
  if (ending.size() > text.size()) return false;
  for (std::size_t i = 0; i < ending.size(); ++i) {
    const char a = text[text.size() - ending.size() + i];
    if (std::tolower(static_cast<unsigned char>(a)) !=
        std::tolower(static_cast<unsigned char>(ending[i])))
      return false;
  }
  return true;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && EndsWithIgnoringCase(a, b);
}

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
  if (run_active_ && CKindlerApp::Get()) {
    // The view that started the run is gone (the program is closing): nobody else will end
    // the run, so the application must not stay busy.
    CKindlerApp::Get()->SetBusy(false);
  }
}

CKindlerApp& CKindlerView::App() const { return *CKindlerApp::Get(); }

CMainFrame* CKindlerView::Frame() const { return App().MainFrame(); }

std::string CKindlerView::ViewSuffix() const {
  return advanced_ ? std::string() : std::string(LoadString(IDS_ADVANCED_VIEW_SUFFIX));
}

void CKindlerView::OnInitialUpdate() {
  CMainFrame* frame = Frame();
  setUpdatesEnabled(false);
  frame->SetTitleCommand(kCmdRfidReader);

  SetFirmwareFolder(InstalledProgramFolder() + "/" + kFirmwareFolderName);

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

  if (frame->IsAdvanced(kCmdRfidReader) == 1) ShowAdvancedView();
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
  for (const FirmwareFileEntry& file : ListFirmwareFiles(FirmwareFolder()))
    firmware_selector_->addItem(QString::fromStdString(file.base_name), file.is_package);
  int selected = -1;
  for (int i = 0; i < firmware_selector_->count() && !wanted_base_name.empty(); ++i) {
    if (SameIgnoringCase(firmware_selector_->itemText(i).toStdString(), wanted_base_name)) {
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
  *base_name = firmware_selector_->itemText(index).toStdString();
  *is_package = firmware_selector_->itemData(index).toBool();
  return true;
}

void CKindlerView::ReadReaderInformation(int port) {
  version_ = 0;
  bootloader_ = kBootloaderUnknown;
  flags_ = 0;
  std::string version_text;
  std::string power_text;

  const bool query = port > 0 && !RecoverMode();
  LinkError opened = PortNotOpen;
  if (query) {
    opened = OpenReaderPort(static_cast<std::uint16_t>(port));
    LinkError result = opened;
    std::uint32_t version = 0;
    std::uint16_t bootloader = kBootloaderUnknown;
    std::uint8_t flags = 0;
    if (result == 0) result = ReadReaderVersion(&version, &bootloader, &flags);
    if (result != 0) {
      version_text = texts::kNoReader;
    } else {
      version_ = version;
      bootloader_ = bootloader;
      flags_ = flags;
      version_text = ReaderVersionText(version, bootloader, flags);
    }
  }
  // Without a reader the version is 0 and the text is "NA" without a query.
  LinkError power_error = 0;
  power_text = ReadPowerText(version_, &power_error);
  // Only a port this view opened is closed: a failed open may mean another owner holds it.
  if (query && opened == 0) CloseReaderPort();
  version_text_->setText(QString::fromStdString(ui::ToWidgetLineBreaks(version_text)));
  power_text_->setText(QString::fromStdString(power_text));
}

std::string CKindlerView::ComposeMessage(int id, int port, std::uint32_t version,
                                         const std::string& base_name) const {
  const std::string suffix = ViewSuffix();
  const std::string folder = FirmwareFolder();
  switch (id) {
    case IDS_ALREADY_UPDATED:
    case IDS_FIRMWARE_UPDATED:
    case IDS_UPDATE_FAILED_ON_PORT:
    case IDS_CANNOT_DETECT_READER:
      return FormatString(id, port);
    case IDS_CANNOT_UPDATE_VERSION:
      return FormatString(id, port, VersionText(version).c_str()) + " " +
             LoadString(IDS_CONTACT_SERVICE);
    case IDS_UPDATE_NOT_ALLOWED:
      return FormatString(id, port, VersionText(version).c_str());
    case IDS_FIRMWARE_FILE_NOT_FOUND:
    case IDS_FILE_ERROR:
    case IDS_UPDATE_FAILED_FILE_ERROR:
      return FormatString(id, base_name.c_str(), folder.c_str());
    case IDS_NO_READER_ON_PORT:
    case IDS_PORT_DOES_NOT_EXIST:
      return FormatString(id, port, suffix.c_str());
    case IDS_SELECT_FIRMWARE:
    case IDS_SELECT_PORT:
    case IDS_BEFORE_TRYING_AGAIN:
      return FormatString(id, suffix.c_str());
    case IDS_NO_FIRMWARE_FILES:
      return FormatString(id, folder.c_str());
    case IDS_VERIFY_FILE_ERROR:
    case IDS_VERIFY_PLATFORM_ERROR:
      return FormatString(id, base_name.c_str());
    default:
      return LoadString(id);
  }
}

void CKindlerView::RefreshPrompt() {
  bool ready = true;
  MessageKind kind = MessageKind::Information;
  std::string text;
  auto add = [&text](const std::string& message) {
    if (!text.empty()) text += kLineBreak;
    text += message;
  };

  const int port = SelectedPort();
  std::string base_name;
  bool is_package = false;
  const bool have_firmware = SelectedFirmware(&base_name, &is_package);

  std::int32_t wanted_port = 0;
  if (port < 0 && App().GetPortOption(&wanted_port)) {
    add(ComposeMessage(IDS_PORT_DOES_NOT_EXIST, wanted_port, 0, std::string()));
    kind = MessageKind::Error;
    ready = false;
  }
  if (!have_firmware) {
    std::string wanted_firmware;
    if (App().GetReaderFirmwareOption(&wanted_firmware)) {
      add(ComposeMessage(IDS_FIRMWARE_FILE_NOT_FOUND, 0, 0, wanted_firmware));
      kind = MessageKind::Error;
      ready = false;
    } else if (firmware_selector_->count() == 0) {
      add(ComposeMessage(IDS_NO_FIRMWARE_FILES, 0, 0, std::string()));
      kind = MessageKind::Error;
      ready = false;
    }
  }
  if (kind != MessageKind::Error) {
    if (port < 0 || (port == 0 && RecoverMode())) {
      add(ComposeMessage(IDS_SELECT_PORT, 0, 0, std::string()));
      ready = false;
    }
    if (!have_firmware) {
      add(ComposeMessage(IDS_SELECT_FIRMWARE, 0, 0, std::string()));
      ready = false;
    }
  }
  if (ready && !RecoverMode() && port > 0) {
    if (version_ != 0) {
      const int gate = App().CheckReaderVersion(version_);
      if (gate != 0) {
        add(ComposeMessage(gate < 0 ? IDS_CANNOT_UPDATE_VERSION : IDS_UPDATE_NOT_ALLOWED, port,
                           version_, std::string()));
        kind = MessageKind::Error;
        ready = false;
      }
    } else {
      add(ComposeMessage(IDS_NO_READER_ON_PORT, port, 0, std::string()));
      ready = false;
    }
  }
  if (ready) add(LoadString(IDS_PRESS_BEGIN_UPDATE));

  ShowMessage(text, kind, false);
  begin_button_->setEnabled(ready);
  EnableResetControls(ready);
}

void CKindlerView::EnableResetControls(bool ready) {
  const bool allowed =
      ready && !RecoverMode() && SelectedPort() > 0 && version_ > kSettingsVersionFloor;
  tagit_box_->setEnabled(allowed);
  iso_box_->setEnabled(allowed);
  reset_button_->setEnabled(allowed && reset_selection_ != 0);
}

void CKindlerView::ShowMessage(const std::string& text, MessageKind kind, bool redraw_now) {
  message_pane_->clear();
  QPalette palette = message_pane_->palette();
  QColor background = palette.color(QPalette::Button);
  if (kind == MessageKind::Error) background = QColor(192, 0, 0);
  if (kind == MessageKind::Success) background = QColor(0, 192, 0);
  palette.setColor(QPalette::Base, background);
  message_pane_->setPalette(palette);

  QTextCursor cursor = message_pane_->textCursor();
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setFontWeight(kind == MessageKind::Error || kind == MessageKind::Success ? QFont::Bold
                                                                       : QFont::Normal);
  format.setForeground(QColor(0, 0, 0));
  cursor.setCharFormat(format);
  cursor.insertText(QString::fromStdString(ui::ToWidgetLineBreaks(text)), format);
  message_pane_->setTextCursor(cursor);
  if (redraw_now) message_pane_->repaint();
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
  if (redraw_now && window()) window()->repaint();
}

void CKindlerView::OnTechnologyClicked(QCheckBox* box, std::uint8_t bit) {
  if (box->isChecked()) reset_selection_ |= bit;
  else reset_selection_ &= static_cast<std::uint8_t>(~bit);
  reset_button_->setEnabled(reset_selection_ != 0);
  RememberResetSelection(reset_selection_);
}

void CKindlerView::ShowAdvancedView() {
  CMainFrame* frame = Frame();
  frame->LoadMenuSet(kMenuReaderAdvanced);
  frame->SetAdvanced(1, kCmdRfidReader);
  advanced_ = true;
  frame->CheckMenuItem(kCmdAdvanced, true);
  frame->CheckMenuItem(kCmdBasic, false);
  frame->CheckMenuItem(kCmdRecover, RecoverMode());
  ApplyLayout(true);
  RefreshPrompt();
}

void CKindlerView::ShowBasicView() {
  CMainFrame* frame = Frame();
  frame->LoadMenuSet(kMenuBasic);
  frame->SetAdvanced(0, kCmdRfidReader);
  advanced_ = false;
  frame->CheckMenuItem(kCmdBasic, true);
  frame->CheckMenuItem(kCmdAdvanced, false);
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
  Frame()->CheckMenuItem(kCmdRecover, RecoverMode());
  ApplyLayout(true);
  RefreshPrompt();
}

void CKindlerView::OnReaderTool(int command_id) {
  if (RecoverMode()) return;
  std::uint32_t version = version_;
  int port = SelectedPort();
  const char* caption = LoadString(IDS_APP_TITLE);
  if (port < 1) {
    ReaderDiscovery found = DiscoverReader(App());
    if (found.result != 0) {
      ui::MessageBox(this,
                     FormatString(IDS_CANNOT_DETECT_READER, found.port) + kLineBreak +
                         FormatText(texts::kErrorLine, static_cast<long>(found.result)),
                     caption, ui::kIconError);
      return;
    }
    port = found.port;
    version = found.version;
  }
  if (port > 0 && version != 0) {
    RunReaderToolDialog(this, command_id, port, version);
  } else {
    ui::MessageBox(this, LoadString(IDS_NO_READER_FOUND), caption, ui::kIconError);
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
