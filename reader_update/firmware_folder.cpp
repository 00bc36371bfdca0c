#include "reader_update/firmware_folder.h"

#include <map>
#include <mutex>
#include <utility>

#include "platform/file_folder.h"
#include "platform/installed_program_folder.h"

namespace flashwright {

static_assert(kMaxFirmwarePath == platform::kMaxFilePath);

namespace {

std::mutex& FolderMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& FolderValue() {
  static std::string folder = std::string("./") + kFirmwareFolderName;
  return folder;
}

// The listings made while a FirmwareListingScope exists, by folder.
struct ScopedListings {
  std::mutex mutex;
  int scopes = 0;
  std::map<std::string, std::vector<FirmwareFileEntry>> by_folder;
};

ScopedListings& Listings() {
  static ScopedListings listings;
  return listings;
}

void ListKind(const std::string& folder, const char* extension, bool is_package,
              std::vector<FirmwareFileEntry>* entries) {
  for (std::string& name : platform::ListNamedFiles(folder, extension)) {
    entries->push_back({std::move(name), is_package});
  }
}

}  // namespace

std::string ProgramFolder() { return platform::ProgramFolder(); }

std::string FirmwareFolderBesideProgram() {
  return platform::FolderBesideProgram(platform::InstalledProgramFolder(), kFirmwareFolderName);
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
  return platform::BuildNamedFilePath(folder, base_name, extension, path);
}

std::vector<FirmwareFileEntry> ListFirmwareFiles(const std::string& folder) {
  ScopedListings& listings = Listings();
  std::lock_guard<std::mutex> lock(listings.mutex);
  if (listings.scopes > 0) {
    auto kept = listings.by_folder.find(folder);
    if (kept != listings.by_folder.end()) return kept->second;
  }
  std::vector<FirmwareFileEntry> entries;
  ListKind(folder, kImageExtension, false, &entries);
  ListKind(folder, kPackageExtension, true, &entries);
  if (listings.scopes > 0) listings.by_folder.emplace(folder, entries);
  return entries;
}

FirmwareListingScope::FirmwareListingScope() {
  std::lock_guard<std::mutex> lock(Listings().mutex);
  ++Listings().scopes;
}

FirmwareListingScope::~FirmwareListingScope() {
  std::lock_guard<std::mutex> lock(Listings().mutex);
  if (--Listings().scopes == 0) Listings().by_folder.clear();
}

}  // namespace flashwright
