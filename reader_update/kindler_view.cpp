#include "reader_update/kindler_view.h"

#include "platform/port_map.h"
#include "platform/text_case.h"
#include "reader_link/commands.h"
#include "reader_link/reader_info.h"
#include "reader_link/transport.h"
#include "reader_tools/tool_opener.h"
#include "reader_update/firmware_folder.h"
#include "reader_link/reader_information.h"
#include "reader_update/reader_prompt.h"
#include "reader_update/reader_view_state.h"
#include "reader_update/tool_reader.h"
#include "reader_update/view_texts.h"
#include "shell/command_ids.h"
#include "shell/control_ids.h"
#include "shell/shell_services.h"
#include "shell/string_table.h"
#include "windowing/message_box.h"
#include "windowing/message_pane.h"

namespace flashwright {

namespace {

constexpr int kHighestListedPort = 32;

}  // namespace

CKindlerView::CKindlerView() : ui::FormView(kIddReaderUpdateForm) {}

CKindlerView::~CKindlerView() {
  // From here on a worker's notices find no target and their records are freed.
  DestroyForm();
  if (run_active_ && Shell()) {
    // The view that started the run is gone (the program is closing): nobody else will end
    // the run, so the application must not stay busy.
    Shell()->SetBusy(false);
  }
}

void CKindlerView::OnNotify(int control_id, ui::Notification notification) {
  // Only the user's choices count as selection changes, not the filling of the lists.
  if (notification == ui::Notification::kSelChange) {
    if (control_id == kIdcPortSelector) OnPortChanged();
    else if (control_id == kIdcFirmwareSelector) OnFirmwareChanged();
    return;
  }
  if (notification != ui::Notification::kClicked) return;
  switch (control_id) {
    case kIdcBeginUpdate: OnBeginUpdate(); break;
    case kIdcResetConfiguration: OnResetConfiguration(); break;
    case kIdcTagIt: OnTechnologyClicked(kIdcTagIt, kTechTagIt); break;
    case kIdcIso: OnTechnologyClicked(kIdcIso, kTechIso); break;
    default: break;
  }
}

ShellServices& CKindlerView::App() const { return *Shell(); }

std::string CKindlerView::ViewSuffix() const {
  return advanced_ ? std::string() : std::string(LoadString(IDS_ADVANCED_VIEW_SUFFIX));
}

void CKindlerView::OnInitialUpdate() {
  ShellServices& shell = App();
  ui::Form& controls = form();
  controls.AcceptPosted(
      {kVerifyProgressMessage, kProgramProgressMessage, kUpdateCompleteMessage});
  controls.SetRedraw(false);
  shell.SetTitleCommand(kCmdRfidReader);

  SetFirmwareFolder(FirmwareFolderBesideProgram());

  if (RememberedResetSelection() == 0) {
    std::uint8_t tag_type = 0;
    RememberResetSelection(App().GetTagTypeOption(&tag_type) ? tag_type : kTechAll);
  }
  reset_selection_ = RememberedResetSelection();
  controls.SetCheck(kIdcTagIt, (reset_selection_ & kTechTagIt) != 0);
  controls.SetCheck(kIdcIso, (reset_selection_ & kTechIso) != 0);

  std::int32_t port = 0;
  FillPortSelector(App().GetPortOption(&port) ? port : 0);
  ReadReaderInformation(SelectedPort());

  std::string firmware;
  if (App().GetReaderFirmwareOption(&firmware) && EndsWithIgnoringCase(firmware, ".hex"))
    firmware.resize(firmware.size() - 4);
  FillFirmwareSelector(firmware);

  ShowProgress(kProgressHide, nullptr, false);
  ShowMessage(std::string(), ui::PaneKind::kNeutral, false);

  if (shell.IsAdvanced(kCmdRfidReader) == 1) ShowAdvancedView();
  else ShowBasicView();

  controls.SetRedraw(true);
}

void CKindlerView::FillPortSelector(int wanted_port) {
  ui::Form& controls = form();
  controls.ResetContent(kIdcPortSelector);
  controls.AddItem(kIdcPortSelector, texts::kAutoDetect, 0);
  for (int n = 1; n <= kHighestListedPort; ++n) {
    if (platform::PortExists(static_cast<unsigned>(n)))
      controls.AddItem(kIdcPortSelector, FormatText(texts::kComPortFormat, n), n);
  }
  controls.SetCurSel(kIdcPortSelector, controls.FindItemData(kIdcPortSelector, wanted_port));
}

int CKindlerView::SelectedPort() const {
  const int index = form().CurSel(kIdcPortSelector);
  return index < 0 ? -1 : static_cast<int>(form().ItemData(kIdcPortSelector, index));
}

void CKindlerView::FillFirmwareSelector(const std::string& wanted_base_name) {
  ui::Form& controls = form();
  controls.ResetContent(kIdcFirmwareSelector);
  firmware_files_.clear();
  for (const FirmwareFileEntry& file : ListFirmwareFiles(FirmwareFolder())) {
    controls.AddItem(kIdcFirmwareSelector, file.base_name,
                     static_cast<std::intptr_t>(firmware_files_.size()));
    firmware_files_.push_back({file.base_name, file.is_package});
  }
  int selected = -1;
  for (std::size_t i = 0; i < firmware_files_.size() && !wanted_base_name.empty(); ++i) {
    if (SameIgnoringCase(firmware_files_[i].base_name, wanted_base_name)) {
      selected = static_cast<int>(i);
      break;
    }
  }
  if (selected < 0 && wanted_base_name.empty() && !firmware_files_.empty()) selected = 0;
  controls.SetCurSel(kIdcFirmwareSelector, selected);
}

bool CKindlerView::SelectedFirmware(std::string* base_name, bool* is_package) const {
  const int index = form().CurSel(kIdcFirmwareSelector);
  if (index < 0) return false;
  const std::intptr_t item = form().ItemData(kIdcFirmwareSelector, index);
  if (item < 0 || static_cast<std::size_t>(item) >= firmware_files_.size()) return false;
  *base_name = firmware_files_[static_cast<std::size_t>(item)].base_name;
  *is_package = firmware_files_[static_cast<std::size_t>(item)].is_package;
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
  form().SetText(kIdcVersionText, version_text);
  form().SetText(kIdcPowerText, power_text);
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
  input.firmware_listed = form().ItemCount(kIdcFirmwareSelector) > 0;
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
  form().Enable(kIdcBeginUpdate, prompt.ready);
  EnableResetControls(prompt.ready);
}

void CKindlerView::EnableResetControls(bool ready) {
  const bool allowed =
      ready && !RecoverMode() && SelectedPort() > 0 && version_ > kSettingsVersionFloor;
  form().Enable(kIdcTagIt, allowed);
  form().Enable(kIdcIso, allowed);
  form().Enable(kIdcResetConfiguration, allowed && reset_selection_ != 0);
}

void CKindlerView::ShowMessage(const std::string& text, ui::PaneKind kind, bool redraw_now) {
  form().ShowPaneMessage(kIdcMessagePane, text, kind, redraw_now);
}

void CKindlerView::ShowProgress(int position, const std::string* text, bool redraw_now) {
  ui::Form& controls = form();
  if ((position & 0x8000) != 0) {
    controls.SetText(kIdcProgressStatus, std::string());
    controls.Show(kIdcProgressStatus, false);
    controls.SetProgressPos(kIdcProgressBar, 0);
    controls.Show(kIdcProgressBar, false);
  } else {
    if (text) {
      controls.SetText(kIdcProgressStatus, *text);
      controls.Show(kIdcProgressStatus, true);
    }
    if (position != kProgressKeep) controls.SetProgressPos(kIdcProgressBar, position);
    controls.Show(kIdcProgressBar, true);
  }
  // "At once" here is the next turn of the event loop, which paints the changed controls
  // before it delivers the records posted after this one: the form is not made to paint
  // before this returns. The worker posts its records in bursts (the image check sends dozens
  // within a millisecond); painting for each of them held the user-interface thread for the
  // length of the burst. This way a burst ends in one paint of its last record, which is what
  // the user would have seen.
  (void)redraw_now;
}

void CKindlerView::OnTechnologyClicked(int control_id, std::uint8_t bit) {
  if (form().Checked(control_id)) reset_selection_ |= bit;
  else reset_selection_ &= static_cast<std::uint8_t>(~bit);
  form().Enable(kIdcResetConfiguration, reset_selection_ != 0);
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
  ui::Form& controls = form();
  const bool information = !RecoverMode();
  for (int id : {kIdcReaderInfoGroup, kIdcVersionLabel, kIdcVersionText, kIdcPowerLabel,
                 kIdcPowerText}) {
    controls.Enable(id, information);
  }
  for (int id : {kIdcTagIt, kIdcIso, kIdcResetConfiguration, kIdcReaderInfoGroup,
                 kIdcVersionLabel, kIdcVersionText, kIdcPowerLabel, kIdcPowerText}) {
    controls.Show(id, advanced);
  }
  controls.Enable(kIdcPortSelector, advanced);
  controls.Enable(kIdcFirmwareSelector, advanced);
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
    RunReaderToolDialog(FrameWindow(), command_id, chosen.reader.port, chosen.reader.version);
  } else {
    ui::MessageBox(FrameWindow(), chosen.failure, LoadString(IDS_APP_TITLE), ui::kIconError);
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
