// Listing the firmware folder when the folder cannot be read to its end: the names read up to
// the error are listed, and nothing is thrown. The read error is made by standing in for the C
// library's readdir in this program: after a set number of entries it fails with EIO.
#include <dirent.h>
#include <dlfcn.h>

#include <atomic>
#include <cerrno>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "reader_update/firmware_folder.h"
#include "tools/test_support/test_support.h"

namespace {
// Entries still read well before readdir fails; below 0 it never fails.
std::atomic<int> entries_before_failure{-1};
}  // namespace

extern "C" struct dirent* readdir(DIR* folder) {
  using Readdir = struct dirent* (*)(DIR*);
  static const Readdir next = reinterpret_cast<Readdir>(dlsym(RTLD_NEXT, "readdir"));
  const int left = entries_before_failure.load();
  if (left == 0) {
    errno = EIO;
    return nullptr;
  }
  if (left > 0) entries_before_failure.store(left - 1);
  return next(folder);
}

namespace flashwright {
namespace {

TEST(FirmwareListing, AReadErrorPartWayThroughListsWhatWasRead) {
  test::TempDir folder;
  std::set<std::string> written;
  for (int i = 0; i < 8; ++i) {
    const std::string name = "Reader_" + std::to_string(i);
    ASSERT_TRUE(test::WriteFile(folder.Join(name + ".hex"), ":00000001FF\n"));
    written.insert(name);
  }
  ASSERT_EQ(ListFirmwareFiles(folder.path()).size(), 8u);

  // ".", ".." and at least three images are read before the error.
  entries_before_failure = 5;
  std::vector<FirmwareFileEntry> listed;
  EXPECT_NO_THROW(listed = ListFirmwareFiles(folder.path()));
  entries_before_failure = -1;
  EXPECT_GE(listed.size(), 3u);
  EXPECT_LT(listed.size(), 8u);
  for (const FirmwareFileEntry& entry : listed) {
    EXPECT_EQ(written.count(entry.base_name), 1u) << entry.base_name;
    EXPECT_FALSE(entry.is_package);
  }

  // An error on the first look lists nothing.
  entries_before_failure = 0;
  EXPECT_NO_THROW(listed = ListFirmwareFiles(folder.path()));
  entries_before_failure = -1;
  EXPECT_TRUE(listed.empty());
}

}  // namespace
}  // namespace flashwright
