#include "app/about_dlg.h"

#include "shell/control_ids.h"
#include "shell/shell_texts.h"
#include "shell/string_table.h"

namespace flashwright {

CAboutDlg::CAboutDlg() : ui::Dialog(kIddAbout) {}

void CAboutDlg::OnInitDialog() {
  const std::string product = LoadString(IDS_APP_TITLE);
  form().SetText(kIdcAboutProduct, product);
  form().SetText(kIdcAboutVersion, FormatText(texts::kAboutVersionFormat, texts::kProductVersion));
  form().SetText(kIdcAboutNotice, texts::kAboutNotice);
  form().SetCaption(FormatText(texts::kAboutTitleFormat, product.c_str()));
}

}  // namespace flashwright
