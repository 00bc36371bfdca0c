#include "reader_tools/rf_transmit_mode.h"

#include <string>

#include "reader_tools/tool_message_box.h"
#include "reader_tools/tool_status_text.h"
#include "reader_tools/tool_texts.h"
#include "reader_tools/transmit_mode.h"
#include "shell/control_ids.h"
#include "shell/string_table.h"

namespace flashwright {

CRFTransmitMode::CRFTransmitMode() : CReaderToolDialog(kIddTransmitMode) {}

void CRFTransmitMode::OnInitDialog() {
  CReaderToolDialog::OnInitDialog();
  for (const TransmitModeEntry& entry : kTransmitModes) {
    form().AddItem(kIdcSettingList, std::string(entry.name));
  }
  form().SetCurSel(kIdcSettingList, 0);
  ReadCurrentMode();
}

void CRFTransmitMode::OnControl(int control_id, ui::Notification notification) {
  if (control_id == kIdcSetSetting && notification == ui::Notification::kClicked) SetMode();
}

void CRFTransmitMode::ReadCurrentMode() {
  ToolOperationScope operation(State());
  SetStatusText(std::string());
  std::uint8_t mode = 0;
  ToolResult result = ReadTransmitMode(ReaderVersion(), &mode);
  if (result != 0) {
    SetStatusText(ToolStatusText(result));
    return;
  }
  form().SetText(kIdcCurrentSetting, TransmitModeName(mode));
}

void CRFTransmitMode::SetMode() {
  const int position = form().CurSel(kIdcSettingList);
  ToolOperationScope operation(State());
  SetStatusText(std::string());
  if (position != 0 && position != 1) {
    ShowToolMessageBox(Window(), "Set Transmit Mode", "Select mode.");
    return;
  }
  const auto mode = static_cast<std::uint8_t>(position);
  ToolResult result = WriteTransmitMode(ReaderVersion(), mode);
  if (result != 0) {
    SetStatusText(ToolStatusText(result, tool_texts::kModeRefused));
    return;
  }
  const std::string name = TransmitModeName(mode);
  form().SetText(kIdcCurrentSetting, name);
  ShowToolMessageBox(Window(), LoadString(IDS_APP_TITLE), tool_texts::kModeSetTo + name);
}

}  // namespace flashwright
