#include "reader_tools/rf_power_level.h"

#include <string>

#include "reader_tools/power_level.h"
#include "reader_tools/tool_message_box.h"
#include "reader_tools/tool_status_text.h"
#include "reader_tools/tool_texts.h"
#include "shell/control_ids.h"
#include "shell/string_table.h"

namespace flashwright {

namespace {

// "1 Watt" whatever the reader's level; that is shown only in the current level field.
constexpr int kInitialPosition = 3;

}  // namespace

CRFPowerLevel::CRFPowerLevel() : CReaderToolDialog(kIddPowerLevel) {}

void CRFPowerLevel::OnInitDialog() {
  CReaderToolDialog::OnInitDialog();
  for (const PowerLevelEntry& entry : kPowerLevels) {
    form().AddItem(kIdcSettingList, std::string(entry.name));
  }
  form().SetCurSel(kIdcSettingList, kInitialPosition);
  ReadCurrentLevel();
}

void CRFPowerLevel::OnControl(int control_id, ui::Notification notification) {
  if (control_id == kIdcSetSetting && notification == ui::Notification::kClicked) SetLevel();
}

void CRFPowerLevel::ReadCurrentLevel() {
  ToolOperationScope operation(State());
  SetStatusText(std::string());
  std::uint8_t code = 0;
  ToolResult result = ReadRfPowerLevel(ReaderVersion(), &code);
  if (result != 0) {
    SetStatusText(ToolStatusText(result));
    return;
  }
  form().SetText(kIdcCurrentSetting, PowerLevelName(code));
}

void CRFPowerLevel::SetLevel() {
  const int position = form().CurSel(kIdcSettingList);
  ToolOperationScope operation(State());
  SetStatusText(std::string());
  std::optional<std::uint8_t> code = PowerLevelAtPosition(position);
  if (!code) {
    ShowToolMessageBox(Window(), "Set Power Level", "Select level.");
    return;
  }
  ToolResult result = WriteRfPowerLevel(ReaderVersion(), *code);
  if (result != 0) {
    SetStatusText(ToolStatusText(result, tool_texts::kLevelRefused));
    return;
  }
  const std::string name = PowerLevelName(*code);
  form().SetText(kIdcCurrentSetting, name);
  ShowToolMessageBox(Window(), LoadString(IDS_APP_TITLE), tool_texts::kLevelSetTo + name);
}

}  // namespace flashwright
