#include "reader_tools/portal_afi_default.h"

#include "reader_tools/portal_afi.h"
#include "reader_tools/tool_entry.h"
#include "reader_tools/tool_message_box.h"
#include "reader_tools/tool_status_text.h"
#include "reader_tools/tool_texts.h"
#include "shell/control_ids.h"
#include "shell/string_table.h"

namespace flashwright {

CPortalAFIDefault::CPortalAFIDefault() : CReaderToolDialog(kIddPortalAfi) {}

void CPortalAFIDefault::OnInitDialog() {
  CReaderToolDialog::OnInitDialog();
  ReadCurrentValue();
}

void CPortalAFIDefault::OnControl(int control_id, ui::Notification notification) {
  if (control_id == kIdcSetAfi && notification == ui::Notification::kClicked) SetAfiValue();
}

void CPortalAFIDefault::ReadCurrentValue() {
  ToolOperationScope operation(State());
  SetStatusText(std::string());
  std::uint8_t afi = 0;
  ToolResult result = ReadPortalAfi(ReaderVersion(), &afi);
  if (result != 0) {
    SetStatusText(ToolStatusText(result));
    return;
  }
  form().SetText(kIdcCurrentAfi, FormatText("%02X", afi));
}

void CPortalAFIDefault::SetAfiValue() {
  // The port is opened first, so an entry error opens and closes it all the same.
  ToolOperationScope operation(State());
  SetStatusText(std::string());
  std::optional<std::uint8_t> value = ParseHexEntry(form().Text(kIdcAfiEntry));
  if (!value) {
    ShowToolMessageBox(Window(), "Set AFI Value", tool_texts::kAfiEntryError);
    return;
  }
  ToolResult result = WritePortalAfi(ReaderVersion(), *value);
  if (result != 0) {
    SetStatusText(ToolStatusText(result));
    return;
  }
  const std::string shown = FormatText("%02X", *value);
  form().SetText(kIdcCurrentAfi, shown);
  ShowToolMessageBox(Window(), LoadString(IDS_APP_TITLE), tool_texts::kAfiSetTo + shown);
}

}  // namespace flashwright
