#include "reader_tools/reader_tool_dialog.h"

#include "shell/control_ids.h"
#include "shell/string_table.h"

namespace flashwright {

CReaderToolDialog::~CReaderToolDialog() = default;

void CReaderToolDialog::OnInitDialog() {
  form().SetText(kIdcToolPort, FormatText("%d", state_.Port()));
  form().SetText(kIdcToolVersion, state_.VersionText());
  SetStatusText(std::string());
}

void CReaderToolDialog::SetStatusText(const std::string& text) {
  form().SetText(kIdcToolStatus, text);
}

}  // namespace flashwright
