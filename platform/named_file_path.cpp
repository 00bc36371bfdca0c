// Paths of the files beside the program, with the system's separator.
#include "platform/file_folder.h"

namespace flashwright::platform {

std::string FolderBesideProgram(const std::string& program_folder, const char* name) {
  if (program_folder.empty()) return std::string(".") + kPathSeparator + name;
  const char last = program_folder.back();
  if (last == '/' || last == kPathSeparator) return program_folder + name;
  return program_folder + kPathSeparator + name;
}

bool BuildNamedFilePath(const std::string& folder, const std::string& name, const char* extension,
                        std::string* path) {
  std::string built = folder + kPathSeparator + name + "." + extension;
  if (built.size() > kMaxFilePath) {
    path->clear();
    return false;
  }
  *path = std::move(built);
  return true;
}

}  // namespace flashwright::platform
