#include "app/usb_view_placeholder.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/command_ids.h"
#include "app/kindler_app.h"
#include "app/main_frame.h"

namespace flashwright {

CUsbViewPlaceholder::CUsbViewPlaceholder(QWidget* parent) : ui::FormView(parent) {
  setObjectName("UsbView");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("USB Device", this));
  setMinimumSize(420, 300);
}

CMainFrame* CUsbViewPlaceholder::Frame() const {
  return CKindlerApp::Get() ? CKindlerApp::Get()->MainFrame() : nullptr;
}

void CUsbViewPlaceholder::OnInitialUpdate() {
  CMainFrame* frame = Frame();
  if (!frame) return;
  frame->SetTitleCommand(kCmdUsbDevice);
  if (frame->IsAdvanced(kCmdUsbDevice) == 1) ShowAdvanced();
  else ShowBasic();
}

void CUsbViewPlaceholder::ShowBasic() {
  CMainFrame* frame = Frame();
  frame->LoadMenuSet(kMenuBasic);
  frame->SetAdvanced(0, kCmdUsbDevice);
  frame->CheckMenuItem(kCmdBasic, true);
  frame->CheckMenuItem(kCmdAdvanced, false);
}

void CUsbViewPlaceholder::ShowAdvanced() {
  CMainFrame* frame = Frame();
  frame->LoadMenuSet(kMenuUsbAdvanced);
  frame->SetAdvanced(1, kCmdUsbDevice);
  frame->CheckMenuItem(kCmdAdvanced, true);
  frame->CheckMenuItem(kCmdBasic, false);
  frame->CheckMenuItem(kCmdAllowNonMatching, allow_non_matching_);
}

bool CUsbViewPlaceholder::OnCommand(int command_id) {
  switch (command_id) {
    case kCmdBasic: ShowBasic(); return true;
    case kCmdAdvanced: ShowAdvanced(); return true;
    case kCmdAllowNonMatching:
      allow_non_matching_ = !allow_non_matching_;
      Frame()->CheckMenuItem(kCmdAllowNonMatching, allow_non_matching_);
      return true;
    default: return false;
  }
}

bool CUsbViewPlaceholder::OnUpdateCommand(ui::CommandState& state) {
  if (state.id == kCmdBasic || state.id == kCmdAdvanced || state.id == kCmdAllowNonMatching) {
    state.Enable(!CKindlerApp::Get()->IsBusy());
    return true;
  }
  return false;
}

bool CUsbViewPlaceholder::HasCommand(int command_id) const {
  return command_id == kCmdBasic || command_id == kCmdAdvanced ||
         command_id == kCmdAllowNonMatching;
}

void CUsbViewPlaceholder::OnDeviceChange(unsigned /*event_type*/, std::uintptr_t /*data*/) {
  ++device_changes_;
}

}  // namespace flashwright
