// The common application data folder inside the Wine prefix, where Windows programs running
// under Wine keep their machine-wide data. The folder is looked up, never created.
#include "platform/common_data_folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <vector>

#include "platform/registry.h"
#include "platform/text_case.h"

namespace flashwright::platform {
namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// The entry of `folder` whose name matches `component` without regard to case; an exact match
// wins, then the first match in name order. Empty when there is none.
std::string MatchEntry(const std::string& folder, const std::string& component) {
  if (Exists(folder + "/" + component)) return component;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return {};
  std::vector<std::string> matches;
  while (dirent* entry = ::readdir(dir)) {
    if (SameIgnoringCase(entry->d_name, component)) matches.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  if (matches.empty()) return {};
  return *std::min_element(matches.begin(), matches.end());
}

}  // namespace

int CommonDataFolder(std::string* path) {
  path->clear();
  std::string prefix = WinePrefix();
  if (prefix.empty()) return ENOENT;
  std::string resolved = ResolveBelow(prefix, "drive_c/ProgramData");
  *path = resolved.empty() ? prefix + "/drive_c/ProgramData" : resolved;
  return 0;
}

std::string ResolveBelow(const std::string& folder, std::string_view windows_path) {
  std::string path = folder;
  std::size_t start = 0;
  while (start <= windows_path.size()) {
    std::size_t end = windows_path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = windows_path.size();
    std::string component(windows_path.substr(start, end - start));
    start = end + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") return {};  // stay below the folder
    std::string entry = MatchEntry(path, component);
    if (entry.empty()) return {};
    path += "/" + entry;
  }
  return path;
}

}  // namespace flashwright::platform
