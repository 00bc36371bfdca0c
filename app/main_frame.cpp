#include "app/main_frame.h"

#include "app/kindler_app.h"
#include "app/kindler_doc.h"
#include "shell/command_ids.h"
#include "shell/shell_texts.h"
#include "shell/string_table.h"
#include "windowing/backend.h"
#include "windowing/key_state.h"

namespace flashwright {

namespace {
// Position of the Device popup in each menu.
int DevicePopupPosition(int menu_id) { return menu_id == kMenuBasic ? 2 : 3; }
}  // namespace

// The frame has no menu bar until its first view loads the view's own set (basic or advanced):
// the bar is built once at start.
CMainFrame::CMainFrame(CKindlerApp& app, CKindlerDoc& document)
    : app_(app), document_(document), window_(ui::CreateFrameWindow(*this)) {}

CMainFrame::~CMainFrame() {
  // The view goes first, while the frame it calls back into is still whole.
  if (active_view_) {
    document_.RemoveView(active_view_.get());
    active_view_.reset();
  }
  window_.reset();
}

std::unique_ptr<ui::FormView> CMainFrame::MakeView(ui::ViewKind kind) {
  std::unique_ptr<ui::FormView> view = app_.CreateView(kind);
  if (!view || !view->Create(window_->ClientArea(), window_->Window())) return nullptr;
  return view;
}

bool CMainFrame::LoadFrame(ui::ViewKind kind) {
  std::unique_ptr<ui::FormView> view = MakeView(kind);
  if (!view) return false;
  active_view_ = std::move(view);
  document_.AddView(active_view_.get());
  FitToView();
  active_view_->OnInitialUpdate();
  return true;
}

void CMainFrame::LoadMenuSet(int menu_id) {
  const bool both_kinds = app_.IsUsbEnabled() && app_.IsReaderEnabled();
  if (!window_->LoadMenu(menu_id, both_kinds ? -1 : DevicePopupPosition(menu_id))) return;
  const bool first_bar = menu_id_ == 0;
  menu_id_ = menu_id;
  if (window_->HasMenuItem(kCmdAbout)) {
    window_->SetMenuItemText(kCmdAbout,
                             FormatText(texts::kAboutItemFormat, LoadString(IDS_APP_TITLE)));
  }
  if (both_kinds) SetDeviceChecks();
  // The first bar makes the frame taller: it is fitted again so that the view keeps its size,
  // and centred now that it has its final height.
  if (first_bar) FitToView(ReadyToCentre());
  // The title names the device by the text of its menu item.
  if (title_command_ != 0) UpdateTitle();
}

void CMainFrame::CheckMenuItem(int command_id, bool checked) {
  window_->CheckMenuItem(command_id, checked);
}

int CMainFrame::IsAdvanced(int /*command*/) {
  if (!advanced_known_) {
    advanced_ = (ui::IsControlKeyDown() || app_.StartAdvanced()) ? 1 : 0;
    advanced_known_ = true;
  }
  return advanced_;
}

void CMainFrame::SetAdvanced(int value, int /*command*/) { advanced_ = value; }

void CMainFrame::SetTitleCommand(int command) {
  title_command_ = command;
  progress_ = -1;
  if (ReadyToCentre()) FitToView(true);
  UpdateTitle();
}

bool CMainFrame::ReadyToCentre() const {
  // Once, when the first view has named its device; the frame's height is final only with the
  // menu bar, which that view loads after naming it.
  return !centred_ && title_command_ != 0 && menu_id_ != 0 && active_view_ != nullptr;
}

void CMainFrame::SetTitleProgress(int command, std::int16_t percentage) {
  title_command_ = command;
  progress_ = percentage;
  UpdateTitle();
}

void CMainFrame::UpdateTitle() {
  const std::string product = LoadString(IDS_APP_TITLE);
  std::string title;
  if (progress_ < 0 || progress_ > 100 || !window_->IsMinimized()) {
    const std::optional<std::string> item =
        title_command_ != 0 ? window_->MenuItemText(title_command_) : std::nullopt;
    title = item && !item->empty()
                ? FormatText(texts::kTitleDeviceFormat, product.c_str(), item->c_str())
                : FormatText(texts::kTitleFormat, product.c_str());
  } else {
    title = FormatText(texts::kTitleProgressFormat, product.c_str(), int{progress_});
  }
  window_->SetTitle(title);
}

void CMainFrame::FitToView(bool centre) {
  // The frame fits the form and cannot be resized by the user.
  if (!active_view_) return;
  if (centre) centred_ = true;
  const ui::DialogTemplate& form = active_view_->form().Template();
  window_->FitClientArea(form.width, form.height, centre);
}

void CMainFrame::SwitchToView(ui::ViewKind kind) {
  if (!active_view_ || active_view_->Kind() != kind) {
    std::unique_ptr<ui::FormView> new_view = MakeView(kind);
    if (!new_view) return;
    std::unique_ptr<ui::FormView> old_view = std::move(active_view_);
    document_.AddView(new_view.get());
    if (old_view) document_.RemoveView(old_view.get());
    active_view_ = std::move(new_view);
    FitToView();
    active_view_->OnInitialUpdate();
    // Pending notices for the old view die with its form; their records are freed then.
    old_view.reset();
  }
  SetDeviceChecks();
}

void CMainFrame::SetDeviceChecks() {
  const bool reader = active_view_ && active_view_->Kind() == ui::ViewKind::kReader;
  const bool usb = active_view_ && active_view_->Kind() == ui::ViewKind::kUsb;
  CheckMenuItem(kCmdRfidReader, reader);
  CheckMenuItem(kCmdUsbDevice, usb);
}

bool CMainFrame::OnFrameCommand(int command_id) {
  if (command_id == kCmdRfidReader) {
    SwitchToView(ui::ViewKind::kReader);
    return true;
  }
  if (command_id == kCmdUsbDevice) {
    SwitchToView(ui::ViewKind::kUsb);
    return true;
  }
  return false;
}

bool CMainFrame::OnUpdateFrameCommand(ui::CommandState& state) const {
  if (state.id == kCmdRfidReader || state.id == kCmdUsbDevice) {
    state.Enable(!app_.IsBusy());
    return true;
  }
  return false;
}

ui::CommandState CMainFrame::QueryCommandState(int command_id) const {
  ui::CommandState state(command_id);
  if (active_view_ && active_view_->OnUpdateCommand(state)) return state;
  if (OnUpdateFrameCommand(state)) return state;
  if (app_.OnUpdateCommand(state)) return state;
  // A command that nobody handles is greyed.
  const bool handled = (active_view_ && active_view_->HasCommand(command_id)) ||
                       command_id == kCmdRfidReader || command_id == kCmdUsbDevice ||
                       app_.HasCommand(command_id);
  state.Enable(handled);
  return state;
}

void CMainFrame::RouteCommand(int command_id) {
  if (!QueryCommandState(command_id).enabled) return;
  if (active_view_ && active_view_->OnCommand(command_id)) return;
  if (OnFrameCommand(command_id)) return;
  app_.OnCommand(command_id);
}

void CMainFrame::OnDeviceChange(unsigned event_type, std::uintptr_t event_data) {
  if (active_view_ && active_view_->Kind() == ui::ViewKind::kUsb)
    active_view_->OnDeviceChange(event_type, event_data);
}

bool CMainFrame::OnCloseRequest() { return document_.CanCloseFrame(); }

void CMainFrame::OnMinimizedChanged(bool /*minimized*/) { UpdateTitle(); }

}  // namespace flashwright
