#include "windowing/folder_browser.h"

#include <utility>

#include "windowing/backend.h"

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
  return ShowFolderBrowser({owner, title}, path);
}

void SetFolderBrowserHandler(FolderBrowserHandler handler) { Handler() = std::move(handler); }

}  // namespace flashwright::ui
