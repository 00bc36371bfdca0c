// "Copy Firmware To Memory Card..." of the reader update view.
#include "app/string_table.h"
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
  switch (ui::BrowseForFolder(this, texts::kCopyBrowseTitle, &chosen)) {
    case ui::FolderChoice::kCancelled:
      return;
    case ui::FolderChoice::kNoPath:
      ui::MessageBox(this, texts::kCopyGetPathError, caption, ui::kIconError);
      return;
    case ui::FolderChoice::kChosen:
      break;
  }

  const std::string destination = CopyDestination(chosen);
  const CopyResult copied = CopyImages(FirmwareFolder(), destination);
  if (copied.error != 0) {
    ui::MessageBox(this,
                   FormatText(texts::kCopyFileError, static_cast<unsigned long>(copied.error),
                              static_cast<unsigned long>(copied.count)),
                   caption, ui::kIconError);
  } else if (copied.count > 0) {
    ui::MessageBox(this,
                   FormatText(texts::kCopyDone, static_cast<unsigned long>(copied.count),
                              destination.c_str()),
                   caption, 0);
  } else {
    ui::MessageBox(this, texts::kCopyNothing, caption, 0);
  }
}

}  // namespace flashwright
