#include "windowing/folder_browser.h"
#include "windowing/qt/native_window_qt.h"

#include <QDir>
#include <QFileDialog>

namespace flashwright::ui {

namespace {
FolderBrowserHandler& Handler() {
  static FolderBrowserHandler handler;
  return handler;
}
}  // namespace

FolderChoice BrowseForFolder(WindowRef owner, const std::string& title, std::string* path) {
  path->clear();
  if (Handler()) return Handler()({owner, title}, path);

  const QString chosen = QFileDialog::getExistingDirectory(
      ToWidget(owner), QString::fromStdString(title), QDir::rootPath(), QFileDialog::ShowDirsOnly);
  if (chosen.isNull()) return FolderChoice::kCancelled;
  if (chosen.isEmpty()) return FolderChoice::kNoPath;
  *path = QDir::toNativeSeparators(chosen).toStdString();
  return FolderChoice::kChosen;
}

void SetFolderBrowserHandler(FolderBrowserHandler handler) { Handler() = std::move(handler); }

}  // namespace flashwright::ui
