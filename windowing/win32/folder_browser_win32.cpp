// The shell's folder browser, narrow: only file-system folders, from the desktop down.

#include "windowing/win32/native_window_win32.h"

#include <shlobj.h>

#include "windowing/backend.h"

namespace flashwright::ui {

FolderChoice ShowFolderBrowser(const FolderBrowseRequest& request, std::string* path) {
  char display_name[MAX_PATH] = {};
  BROWSEINFOA info{};
  info.hwndOwner = HwndOf(request.owner);
  info.pidlRoot = nullptr;
  info.pszDisplayName = display_name;
  info.lpszTitle = request.title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info);
  if (chosen == nullptr) return FolderChoice::kCancelled;
  char folder[MAX_PATH] = {};
  const BOOL has_path = SHGetPathFromIDListA(chosen, folder);
  CoTaskMemFree(chosen);
  if (!has_path || folder[0] == '\0') return FolderChoice::kNoPath;
  *path = folder;
  return FolderChoice::kChosen;
}

}  // namespace flashwright::ui
