#include "app/kindler_app.h"

#include <cstdlib>

#include "app/about_dlg.h"
#include "shell/command_ids.h"
#include "app/command_line_info.h"
#include "app/kindler_doc.h"
#include "app/main_frame.h"
#include "shell/shell_texts.h"
#include "shell/string_table.h"
#include "windowing/message_box.h"
#include "shell/program_resources.h"
#include "windowing/resource_templates.h"
#include "discovery/find_reader.h"
#include "reader_update/firmware_folder.h"
#include "reader_update/update_workers.h"

namespace flashwright {

namespace {
CKindlerApp* the_app = nullptr;

// The firmware folder beside the program holds at least one image.
bool FirmwareImagesBesideProgram() {
  const std::vector<FirmwareFileEntry> files = ListFirmwareFiles(FirmwareFolderBesideProgram());
  for (const FirmwareFileEntry& file : files) {
    if (!file.is_package) return true;
  }
  return false;
}
}  // namespace

CKindlerApp::CKindlerApp() {
  the_app = this;
  SetShell(this);
}

CKindlerApp::~CKindlerApp() {
  frame_.reset();
  document_.reset();
  if (Shell() == this) SetShell(nullptr);
  if (the_app == this) the_app = nullptr;
}

CKindlerApp* CKindlerApp::Get() { return the_app; }

void CKindlerApp::SetViewFactory(ui::ViewKind kind, ViewFactory factory) {
  (kind == ui::ViewKind::kReader ? reader_view_factory_ : usb_view_factory_) = std::move(factory);
}

std::unique_ptr<ui::FormView> CKindlerApp::CreateView(ui::ViewKind kind) const {
  const ViewFactory& factory =
      kind == ui::ViewKind::kReader ? reader_view_factory_ : usb_view_factory_;
  return factory ? factory() : nullptr;
}

bool CKindlerApp::InitInstance(const std::vector<std::string>& arguments) {
  // The windowing system itself was started with the process; the windows are made from
  // the program's templates and menus.
  ui::InstallResources(&ProgramResources());
  CFWCommandLineInfo info(options_);
  ParseCommandLine(info, arguments);

  // The shell command is always file-new: document, frame, first view. When any of them
  // cannot be made the user is told before the program ends.
  document_ = std::make_unique<CKindlerDoc>(*this);
  bool created = document_->OnNewDocument();
  if (created) {
    frame_ = std::make_unique<CMainFrame>(*this, *document_);
    // The firmware folder is read once: the listing that chooses the first view fills its list.
    const FirmwareListingScope one_listing;
    created = frame_->LoadFrame(ChooseFirstView());
  }
  if (!created) {
    frame_.reset();
    document_.reset();
    ui::MessageBox(ui::WindowRef(), texts::kCreateDocumentFailed, LoadString(IDS_APP_TITLE),
                   ui::kButtonsOk | ui::kIconWarning);
    return false;
  }
  frame_->Window().Show();
  return true;
}

int CKindlerApp::ExitInstance() {
  frame_.reset();
  document_.reset();
  // No update worker may outlive the program's state: a run still going stops after the
  // record it is sending and is waited for (its last notices find no view and are freed).
  EndUpdateWorkersForExit(EXIT_FAILURE);
  return 0;
}

bool CKindlerApp::IsReaderEnabled() const {
  return options_.usb_enabled ? options_.reader_enabled : true;
}

bool CKindlerApp::GetPortOption(std::int32_t* port) const {
  if (!options_.port_given) return false;
  *port = options_.port;
  return true;
}

bool CKindlerApp::GetReaderFirmwareOption(std::string* file) const {
  if (!options_.reader_firmware_given || options_.reader_firmware.empty()) return false;
  *file = options_.reader_firmware;
  return true;
}

bool CKindlerApp::GetTagTypeOption(std::uint8_t* tag_type) const {
  if (!options_.tag_type_given) return false;
  *tag_type = options_.tag_type;
  return true;
}

bool CKindlerApp::GetUsbFirmwareOption(std::string* file) const {
  if (!options_.usb_firmware_given || options_.usb_firmware.empty()) return false;
  *file = options_.usb_firmware;
  return true;
}

int CKindlerApp::CheckReaderVersion(std::uint32_t version) const {
  return CFindReader::CheckReaderVersion(version, options_.limits.too_old,
                                         options_.limits.too_new);
}

void CKindlerApp::LoadMenuSet(int menu_id) {
  if (frame_) frame_->LoadMenuSet(menu_id);
}

int CKindlerApp::IsAdvanced(int command) { return frame_ ? frame_->IsAdvanced(command) : 0; }

void CKindlerApp::SetAdvanced(int value, int command) {
  if (frame_) frame_->SetAdvanced(value, command);
}

void CKindlerApp::CheckMenuItem(int command_id, bool checked) {
  if (frame_) frame_->CheckMenuItem(command_id, checked);
}

void CKindlerApp::SetTitleCommand(int command) {
  if (frame_) frame_->SetTitleCommand(command);
}

void CKindlerApp::SetTitleProgress(int command, std::int16_t percentage) {
  if (frame_) frame_->SetTitleProgress(command, percentage);
}

ui::ViewKind CKindlerApp::ChooseFirstView() const {
  if (options_.reader_enabled && options_.usb_enabled) {
    std::string file;
    if (GetUsbFirmwareOption(&file) && !GetReaderFirmwareOption(&file)) return ui::ViewKind::kUsb;
    if (FirmwareImagesBesideProgram()) return ui::ViewKind::kReader;
    return ui::ViewKind::kUsb;
  }
  if (options_.usb_enabled) return ui::ViewKind::kUsb;
  return ui::ViewKind::kReader;
}

bool CKindlerApp::OnCommand(int command_id) {
  if (command_id == kCmdAbout) {
    OnAppAbout();
    return true;
  }
  if (command_id == kCmdExit) {
    if (frame_) frame_->Window().RequestClose();
    return true;
  }
  return false;
}

bool CKindlerApp::OnUpdateCommand(ui::CommandState& state) const {
  if (state.id == kCmdAbout || state.id == kCmdExit) {
    state.Enable(!busy_);
    return true;
  }
  return false;
}

bool CKindlerApp::HasCommand(int command_id) const {
  return command_id == kCmdAbout || command_id == kCmdExit;
}

void CKindlerApp::OnAppAbout() {
  CAboutDlg about;
  about.DoModal(frame_ ? frame_->Window().Window() : ui::WindowRef());
}

}  // namespace flashwright
