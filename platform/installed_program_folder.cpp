#include "platform/installed_program_folder.h"

#include <mutex>

#include "platform/file_folder.h"

namespace flashwright::platform {

namespace {
std::mutex& OverrideMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& FolderOverride() {
  static std::string folder;
  return folder;
}
}  // namespace

std::string InstalledProgramFolder() {
  {
    std::lock_guard<std::mutex> lock(OverrideMutex());
    if (!FolderOverride().empty()) return FolderOverride();
  }
  return ProgramFolder();
}

void SetInstalledProgramFolderForTesting(const std::string& folder) {
  std::lock_guard<std::mutex> lock(OverrideMutex());
  FolderOverride() = folder;
}

}  // namespace flashwright::platform
