#include "windowing/backend.h"
#include "windowing/qt/native_window_qt.h"

#include <QDir>
#include <QFileDialog>

namespace flashwright::ui {

FolderChoice ShowFolderBrowser(const FolderBrowseRequest& request, std::string* path) {
  const QString chosen = QFileDialog::getExistingDirectory(
      ToWidget(request.owner), QString::fromStdString(request.title), QDir::rootPath(),
      QFileDialog::ShowDirsOnly);
  if (chosen.isNull()) return FolderChoice::kCancelled;
  if (chosen.isEmpty()) return FolderChoice::kNoPath;
  *path = QDir::toNativeSeparators(chosen).toStdString();
  return FolderChoice::kChosen;
}

}  // namespace flashwright::ui
