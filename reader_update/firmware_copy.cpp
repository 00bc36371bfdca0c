#include "reader_update/firmware_copy.h"

#include <filesystem>
#include <system_error>

#include "platform/file_folder.h"
#include "shell/string_table.h"
#include "reader_update/firmware_folder.h"
#include "reader_update/view_texts.h"

namespace flashwright {

namespace {

// The failures that skip one file: access denied and "file exists".
bool SkipsFile(int error) {
  return error == platform::kErrorAccessDenied || error == platform::kErrorFileExists;
}

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

// The image and its destination are one file (copying the firmware folder onto itself).
bool IsSameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code error;
  return std::filesystem::equivalent(from, to, error) && !error;
}

int CopyOne(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (IsSameFile(from, to)) return platform::kErrorFileExists;
  if (IsReadOnlyFile(to)) return platform::kErrorAccessDenied;
  return platform::CopyFileReplacing(from.string(), to.string());
}

}  // namespace

std::string CopyDestination(const std::string& chosen) {
  std::string destination = chosen;
  if (destination.empty() || destination.back() != platform::kPathSeparator)
    destination += platform::kPathSeparator;
  return destination + kFirmwareFolderName;
}

CopyResult CopyImages(const std::string& firmware_folder, const std::string& destination) {
  CopyResult result;
  for (const FirmwareFileEntry& file : ListFirmwareFiles(firmware_folder)) {
    if (file.is_package) continue;
    ++result.images;
    // Its failure (the folder exists already, or its parent does not) shows in the copy.
    std::error_code made;
    std::filesystem::create_directory(destination, made);
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

CopyReport ReportCopy(const CopyResult& copied, const std::string& destination) {
  if (copied.error != 0) {
    return {FormatText(texts::kCopyFileError, static_cast<unsigned long>(copied.error),
                       static_cast<unsigned long>(copied.count)),
            true};
  }
  if (copied.count > 0 || copied.images > 0) {
    return {FormatText(texts::kCopyDone, static_cast<unsigned long>(copied.count),
                       destination.c_str()),
            false};
  }
  return {texts::kCopyNothing, false};
}

}  // namespace flashwright
