// "Copy Firmware To Memory Card..." of the reader update view.
#include "shell/string_table.h"
#include "windowing/folder_browser.h"
#include "windowing/message_box.h"
#include "reader_update/firmware_copy.h"
#include "reader_update/firmware_folder.h"
#include "reader_update/kindler_view.h"
#include "reader_update/view_texts.h"

namespace flashwright {

void CKindlerView::OnCopyFirmware() {
  const char* caption = LoadString(IDS_APP_TITLE);
  std::string chosen;
  switch (ui::BrowseForFolder(FrameWindow(), texts::kCopyBrowseTitle, &chosen)) {
    case ui::FolderChoice::kCancelled:
      return;
    case ui::FolderChoice::kNoPath:
      ui::MessageBox(FrameWindow(), texts::kCopyGetPathError, caption, ui::kIconError);
      return;
    case ui::FolderChoice::kChosen:
      break;
  }

  const std::string destination = CopyDestination(chosen);
  const CopyReport report = ReportCopy(CopyImages(FirmwareFolder(), destination), destination);
  ui::MessageBox(FrameWindow(), report.text, caption, report.is_error ? unsigned{ui::kIconError} : 0u);
}

}  // namespace flashwright
