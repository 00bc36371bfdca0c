#include "platform/file_folder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace flashwright::platform {
namespace {

// The name of `file_name` when its extension (after the last dot) is `extension`.
bool NameWithExtension(const std::string& file_name, const char* extension, std::string* name) {
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string::npos || file_name.compare(dot + 1, std::string::npos, extension) != 0) {
    return false;
  }
  *name = file_name.substr(0, dot);
  return !name->empty();  // ".bin" alone is a hidden file, not a named file
}

}  // namespace

const char kPathSeparator = '/';
const int kErrorAccessDenied = EACCES;
const int kErrorFileExists = EEXIST;

std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return program.parent_path().string();
}

std::vector<std::string> ListNamedFiles(const std::string& folder, const char* extension) {
  std::vector<std::string> names;
  std::error_code error;
  std::filesystem::directory_iterator it(folder, error);
  if (error) return names;
  // The error-code increment: a read error part-way through ends the listing with what was
  // read so far instead of throwing out of it.
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    const std::filesystem::directory_entry& entry = *it;
    std::error_code status_error;
    if (!entry.is_regular_file(status_error)) continue;  // follows links
    std::string name;
    if (NameWithExtension(entry.path().filename().string(), extension, &name)) {
      names.push_back(std::move(name));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

int OpenFileForReading(const char* path, std::FILE** file, std::uint64_t* size) {
  *file = nullptr;
  *size = 0;
  errno = 0;
  std::FILE* opened = std::fopen(path, "rb");
  if (opened == nullptr) return errno != 0 ? errno : ENOENT;
  struct stat status {};
  if (fstat(fileno(opened), &status) != 0) {
    const int error = errno != 0 ? errno : EIO;
    std::fclose(opened);
    return error;
  }
  if (S_ISDIR(status.st_mode)) {
    std::fclose(opened);
    return EISDIR;
  }
  *file = opened;
  *size = static_cast<std::uint64_t>(status.st_size);
  return 0;
}

int CopyFileReplacing(const std::string& from, const std::string& to) {
  std::error_code error;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
  if (!error) return 0;
  // Not permitted is a denied access too.
  if (error.value() == EPERM) return EACCES;
  return error.value() != 0 ? error.value() : EIO;
}

}  // namespace flashwright::platform
