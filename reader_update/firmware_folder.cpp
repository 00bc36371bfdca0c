#include "reader_update/firmware_folder.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace flashwright {
namespace {

std::mutex& FolderMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& FolderValue() {
  static std::string folder = std::string("./") + kFirmwareFolderName;
  return folder;
}

// The base name of `file_name` when its extension (after the last dot) is `extension`.
bool BaseNameWithExtension(const std::string& file_name, const char* extension,
                           std::string* base_name) {
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string::npos || file_name.compare(dot + 1, std::string::npos, extension) != 0) {
    return false;
  }
  *base_name = file_name.substr(0, dot);
  return !base_name->empty();  // ".hex" alone is a hidden file, not a named image
}

void ListKind(const std::string& folder, const char* extension, bool is_package,
              std::vector<FirmwareFileEntry>* entries) {
  std::vector<std::string> names;
  std::error_code error;
  std::filesystem::directory_iterator it(folder, error);
  if (error) return;
  for (const std::filesystem::directory_entry& entry : it) {
    std::error_code status_error;
    if (!entry.is_regular_file(status_error)) continue;  // follows links
    std::string base_name;
    if (BaseNameWithExtension(entry.path().filename().string(), extension, &base_name)) {
      names.push_back(std::move(base_name));
    }
  }
  // Directory order is arbitrary here; name order gives the same list every time.
  std::sort(names.begin(), names.end());
  for (std::string& name : names) entries->push_back({std::move(name), is_package});
}

}  // namespace

std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return program.parent_path().string();
}

std::string FirmwareFolderBesideProgram() {
  const std::string program_folder = ProgramFolder();
  if (program_folder.empty()) return std::string("./") + kFirmwareFolderName;
  if (program_folder == "/") return std::string("/") + kFirmwareFolderName;
  return program_folder + "/" + kFirmwareFolderName;
}

void SetFirmwareFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(FolderMutex());
  FolderValue() = folder;
}

std::string FirmwareFolder() {
  std::lock_guard<std::mutex> lock(FolderMutex());
  return FolderValue();
}

bool BuildFirmwarePath(const std::string& folder, const std::string& base_name,
                       const char* extension, std::string* path) {
  std::string built = folder + "/" + base_name + "." + extension;
  if (built.size() > kMaxFirmwarePath) {
    path->clear();
    return false;
  }
  *path = std::move(built);
  return true;
}

std::vector<FirmwareFileEntry> ListFirmwareFiles(const std::string& folder) {
  std::vector<FirmwareFileEntry> entries;
  ListKind(folder, kImageExtension, false, &entries);
  ListKind(folder, kPackageExtension, true, &entries);
  return entries;
}

}  // namespace flashwright
