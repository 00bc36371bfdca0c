// The folder browser: the user picks a file-system folder or cancels. Tests install a handler
// that answers in place of the user.
#pragma once

#include <functional>
#include <string>

#include "windowing/window_ref.h"

namespace flashwright::ui {

enum class FolderChoice {
  kChosen,     // *path holds the folder
  kCancelled,  // the user closed the browser without a choice
  kNoPath,     // the chosen item has no file-system path
};

struct FolderBrowseRequest {
  WindowRef owner;
  std::string title;
};

using FolderBrowserHandler = std::function<FolderChoice(const FolderBrowseRequest&, std::string*)>;

// Only file-system folders can be chosen; the browser starts at the top of the file system.
FolderChoice BrowseForFolder(WindowRef owner, const std::string& title, std::string* path);

// An empty handler restores the real browser.
void SetFolderBrowserHandler(FolderBrowserHandler handler);

}  // namespace flashwright::ui
