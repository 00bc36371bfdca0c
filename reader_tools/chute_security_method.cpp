#include "reader_tools/chute_security_method.h"

#include <string>

#include "reader_tools/security_method.h"
#include "reader_tools/tool_entry.h"
#include "reader_tools/tool_message_box.h"
#include "reader_tools/tool_status_text.h"
#include "reader_tools/tool_texts.h"
#include "shell/control_ids.h"
#include "shell/string_table.h"

namespace flashwright {
namespace {

constexpr int kNonePosition = 3;

std::string ValueText(std::uint8_t method, std::uint8_t value) {
  return method == kSecurityNone ? std::string() : FormatText("%02X", value);
}

}  // namespace

CChuteSecurityMethod::CChuteSecurityMethod() : CReaderToolDialog(kIddSecurityMethod) {}

void CChuteSecurityMethod::OnInitDialog() {
  CReaderToolDialog::OnInitDialog();
  // The methods come with the template, in the order of the list positions. The initial
  // selection is not a change: the value field starts enabled.
  form().SetCurSel(kIdcSettingList, 0);
  ReadCurrentSetting();
}

void CChuteSecurityMethod::OnControl(int control_id, ui::Notification notification) {
  if (control_id == kIdcSettingList && notification == ui::Notification::kSelChange) {
    OnMethodSelected(form().CurSel(kIdcSettingList));
  } else if (control_id == kIdcSetSetting && notification == ui::Notification::kClicked) {
    SetMethodAndValue();
  }
}

void CChuteSecurityMethod::OnMethodSelected(int position) {
  form().Enable(kIdcSecurityValueEntry, position != kNonePosition);
}

void CChuteSecurityMethod::ShowSetting(std::uint8_t method, std::uint8_t value) {
  form().SetText(kIdcCurrentSetting, SecurityMethodName(method));
  form().SetText(kIdcCurrentSecurityValue, ValueText(method, value));
}

void CChuteSecurityMethod::ReadCurrentSetting() {
  ToolOperationScope operation(State());
  SetStatusText(std::string());
  std::uint8_t method = 0;
  std::uint8_t value = 0;
  ToolResult result = ReadSecurityMethod(ReaderVersion(), &method, &value);
  if (result != 0) {
    SetStatusText(ToolStatusText(result));
    return;
  }
  // The list's selection does not follow the method that was read.
  ShowSetting(method, value);
}

void CChuteSecurityMethod::SetMethodAndValue() {
  const int position = form().CurSel(kIdcSettingList);
  ToolOperationScope operation(State());
  SetStatusText(std::string());
  // None takes no value: the value field is not read at all.
  std::optional<SecuritySetting> setting = ParseSecurityEntry(
      position,
      position == kNonePosition ? std::string() : form().Text(kIdcSecurityValueEntry));
  if (!setting) {
    ShowToolMessageBox(Window(), "Set Security Method", tool_texts::kSecurityEntryError);
    return;
  }
  ToolResult result = WriteSecurityMethod(ReaderVersion(), setting->method, setting->value);
  if (result != 0) {
    SetStatusText(ToolStatusText(result, tool_texts::kSecurityRefused));
    return;
  }
  ShowSetting(setting->method, setting->value);
  ShowToolMessageBox(Window(), LoadString(IDS_APP_TITLE),
                     std::string(tool_texts::kSecuritySetTo) +
                         SecurityMethodName(setting->method) + " " +
                         ValueText(setting->method, setting->value));
}

}  // namespace flashwright
