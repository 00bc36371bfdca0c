#include "app/program_folder.h"

#include "reader_update/firmware_folder.h"

namespace flashwright {

namespace {
std::string& FolderOverride() {
  static std::string folder;
  return folder;
}
}  // namespace

std::string InstalledProgramFolder() {
  if (!FolderOverride().empty()) return FolderOverride();
  return ProgramFolder();
}

void SetInstalledProgramFolderForTesting(const std::string& folder) { FolderOverride() = folder; }

}  // namespace flashwright
