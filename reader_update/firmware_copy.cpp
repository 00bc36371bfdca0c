#include "reader_update/firmware_copy.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "reader_update/firmware_folder.h"

namespace flashwright {

namespace {

// The failures that skip one file: access denied and "file exists".
bool SkipsFile(int error) { return error == EACCES || error == EPERM || error == EEXIST; }

// A read-only file is not replaced, whoever runs the program: the read-only mark means the
// card's owner wants to keep it.
bool IsReadOnlyFile(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) return false;
  using std::filesystem::perms;
  return (status.permissions() & (perms::owner_write | perms::group_write | perms::others_write)) ==
         perms::none;
}

int CopyOne(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (IsReadOnlyFile(to)) return EACCES;
  std::error_code error;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
  if (!error) return 0;
  return error.value() != 0 ? error.value() : EIO;
}

}  // namespace

std::string CopyDestination(const std::string& chosen) {
  std::string destination = chosen;
  if (destination.empty() || destination.back() != '/') destination += '/';
  return destination + kFirmwareFolderName;
}

CopyResult CopyImages(const std::string& firmware_folder, const std::string& destination) {
  CopyResult result;
  for (const FirmwareFileEntry& file : ListFirmwareFiles(firmware_folder)) {
    if (file.is_package) continue;
    // Its failure (the folder exists already, or its parent does not) shows in the copy.
    ::mkdir(destination.c_str(), 0777);
    const std::string name = file.base_name + "." + kImageExtension;
    const int error = CopyOne(std::filesystem::path(firmware_folder) / name,
                              std::filesystem::path(destination) / name);
    if (error == 0) {
      ++result.count;
    } else if (!SkipsFile(error)) {
      result.error = error;
      break;
    }
  }
  return result;
}

}  // namespace flashwright
